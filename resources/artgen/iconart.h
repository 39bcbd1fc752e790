#pragma once

#include <QImage>

// Small icons of the lists, the phone chips, the status bar and the side bar.
namespace art::icons {

QImage listArrow(); // 22 x 22
QImage remove(); // 25 x 25
QImage call(); // 27 x 25, the left end of a phone chip
QImage sms(); // 27 x 25, the right end of a phone chip
QImage cloud(); // 17 x 17, connected and idle
QImage user(); // 16 x 16
QImage service(); // 16 x 16, a headset

} // namespace art::icons
