#pragma once

#include <QImage>
#include <QStringList>
#include <QVector>

#include "resources/sidetask.h"

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
    PictureReadAhead(const PictureReadAhead&) = delete;
    PictureReadAhead& operator=(const PictureReadAhead&) = delete;

    // The number of pictures kept; 0 on later calls.
    int keep();

private:
    const QStringList fileNames;
    QVector<QImage> images;
    // Last, so that it is made after the pictures' places and ends before.
    SideTask reading;
};
