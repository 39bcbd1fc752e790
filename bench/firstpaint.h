#pragma once

#include "benchclock.h"

// The start-up benchmark's children report the moment their first window has
// been painted. Nothing of this reaches the client: the child program
// installs the watch itself, from outside the client's code, before the
// application object finishes construction.

// Watches, from the moment the application object exists, for the first paint
// of a top-level widget whose class inherits `windowClass`; once that paint
// has been flushed, writes "painted <CLOCK_MONOTONIC ns>" on standard output
// and ends the process at once (exit status 0), before any clean-up.
//
// Call before the QApplication is constructed; `windowClass` must outlive it.
void reportFirstPaintOf(const char* windowClass);
