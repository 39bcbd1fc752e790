// A tree that breaks the layers, for the layer check's own test.
#pragma once

#include "net/basehttp.h"
#include "widgets/dialogwidget.h"

#include <QGuiApplication>
#include <QNetworkReply>
#include <QtWidgets/QWidget>
