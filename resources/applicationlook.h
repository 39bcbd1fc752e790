#pragma once

#include <QImage>

class QApplication;
class QString;
class QStringList;

// Registers the built-in images compiled into the resource library. A resource
// in a static library is not registered by itself; call this once before any
// ":/images/" path is used.
void freymoInitResources();

// The application-wide look: the style sheet, the font and the codec for
// locale-dependent text. Applied once, right after the application object
// exists.
void applyApplicationLook();

// The application-wide style sheet, exactly as applied.
const char* applicationStyleSheet();

// Reads the pictures named, each in the format its suffix names, and keeps
// them where QPixmap(fileName) and the style sheets' url() look first, so
// that showing them later reads nothing. A picture read through QPixmap asks
// every installed image plugin first, which loads them all (and the JPEG
// library with one): reading the few pictures of the first window here leaves
// the plugins unloaded until a picture of another format is read.
// Returns the number of pictures kept.
int preloadPictures(const QStringList& fileNames);

// One picture read as preloadPictures() reads it: in the format its suffix
// names, without asking the image plugins of other formats; null when it
// cannot be read. Any thread may read.
QImage readPicture(const QString& fileName);

// Keeps a picture read where QPixmap(fileName) finds it, converting the image
// in place (no copy of its pixels); false for a null image. GUI thread only.
bool keepPicture(const QString& fileName, QImage image);

// The key under which QPixmap(fileName) finds a picture read before.
QString pixmapCacheKey(const QString& fileName);
