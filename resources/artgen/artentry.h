#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

#include <functional>

// One file of the built-in image set: how to draw it and how to present it.
struct ArtEntry
{
    enum class Kind {
        Png, // one picture
        Gif, // an animation: the frames, shown in turn
        Ico, // the program icon: one picture per size, the first shown by title bars
    };

    QString name; // file name under images/
    QString group; // heading on the contact sheet
    Kind kind = Kind::Png;
    QColor backdrop; // the colour it is seen on in the client
    std::function<QVector<QImage>()> render;
    int frameDelay = 0; // centiseconds per frame, animations only
};
