#pragma once

#include "artentry.h"

#include <QVector>

// Every file of the built-in image set, in the order of the contact sheet.
QVector<ArtEntry> artCatalog();
