#pragma once

#include <QString>

// Writes one page with every image of the set, read back from imagesDir
// (so the sheet shows the files as committed, animations frame by frame),
// together with the main window and the login dialog put together from
// them. Returns an empty string on success, otherwise what went wrong.
QString writeContactSheet(const QString& imagesDir, const QString& outputFile);
