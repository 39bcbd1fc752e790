#pragma once

#include <functional>

// Ends the process with `status` at once. Every way out of the program (the
// login dialog's close button and dismissal, a failed dictionary fetch, the
// main window's confirmed exit) goes through here, so tests can observe it.
void exitProcess(int status);

// Test seam: replaces what exitProcess() does; an empty function restores the
// real exit. The application never calls this.
void setProcessExitHandlerForTesting(std::function<void(int)> handler);
