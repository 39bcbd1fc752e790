#pragma once

#include <QImage>
#include <QStringList>
#include <QVector>

#include <thread>

class QApplication;
class QString;

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

// Reads the pictures named as preloadPictures() does, but on a thread of its
// own from construction, so that the GUI thread can build a window meanwhile;
// keep() waits for the thread and keeps the pictures where QPixmap(fileName)
// finds them. Pixmaps belong to the GUI thread: make it and call keep() there,
// after the application object exists. Destroyed without keep(), it waits
// for the thread and keeps nothing.
class PictureReadAhead
{
public:
    explicit PictureReadAhead(const QStringList& fileNames);
    ~PictureReadAhead();
    PictureReadAhead(const PictureReadAhead&) = delete;
    PictureReadAhead& operator=(const PictureReadAhead&) = delete;

    // The number of pictures kept; 0 on later calls.
    int keep();

private:
    void wait();

    const QStringList fileNames;
    QVector<QImage> images;
    std::thread thread;
};

// The key under which QPixmap(fileName) finds a picture read before.
QString pixmapCacheKey(const QString& fileName);
