#pragma once

#include "resources/sidetask.h"

// Reads the system's font configuration and font list (fontconfig's set-up)
// on a thread of its own, from construction until wait(). It is the largest
// single step before the login dialog's first paint, and nothing needs it
// before the first text is measured, so it runs while the application object
// connects to the display and the style and pictures are read.
//
// Call wait() before the first font is used: Qt then finds the configuration
// ready instead of reading it a second time alongside. The destructor waits
// too, so no way out of the caller leaves the thread running.
class FontSetup
{
public:
    FontSetup();

    // Returns once the set-up has finished; at once on later calls.
    void wait() { task.wait(); }

private:
    SideTask task;
};
