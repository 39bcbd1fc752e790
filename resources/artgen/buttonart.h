#pragma once

#include <QImage>

// Button faces. Those used as border images keep their corners within the
// four-pixel slices so they stretch to any size.
namespace art::buttons {

enum class State { Normal, Hover, Pressed };

// The header's back button: a flag pointing left. The button draws it from
// x 5, so the last five columns stay empty.
QImage back(State state);
// The header's action button (border image).
QImage action(State state);
// The OK and Cancel buttons of the in-window dialog (border image, 58 x 27).
QImage dialog(State state);
// The login button (border image, 75 x 24).
QImage login(State state);
// The 135 x 30 image buttons; some are shown cropped to 132 x 25, so their
// faces are flat and free of a bottom or right edge.
QImage greenFace(State state);
QImage blueFace(State state);

} // namespace art::buttons
