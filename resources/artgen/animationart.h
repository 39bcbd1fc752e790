#pragma once

#include <QImage>
#include <QVector>

// Frames of the two animations, already flattened onto the colour each is
// shown on (GIF keeps one bit of transparency).
namespace art::animations {

// 16 x 16: an arc running round a faint ring; shown on light grey.
QVector<QImage> spinnerFrames();
// 48 x 48: a turning gear; shown on the loading overlay's dim.
QVector<QImage> gearFrames();

int spinnerDelay(); // centiseconds per frame
int gearDelay();

} // namespace art::animations
