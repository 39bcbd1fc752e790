#pragma once

class QApplication;

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
