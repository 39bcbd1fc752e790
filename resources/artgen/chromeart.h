#pragma once

#include <QImage>
#include <QVector>

// The window's frame: the header band, the status bar strip, the word mark,
// the program icon, the header separators and the system buttons.
namespace art::chrome {

QImage headerBand();
QImage statusBarStrip();
QImage logo();
// The program icon at several sizes; the first is the one a title bar shows.
QVector<QImage> programIcon();
QImage verticalLine();

enum class SystemButton { Minimize, Maximize, Restore, Close };
// Four frames side by side: normal, hover, pressed, disabled.
QImage systemButton(SystemButton kind);

} // namespace art::chrome
