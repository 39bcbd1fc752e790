#include "shell/processexit.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::function<void(int)>& exitHandler()
{
    static std::function<void(int)> handler;
    return handler;
}
} // namespace

void exitProcess(int status)
{
    if (exitHandler()) {
        exitHandler()(status);
        return;
    }
    // QApplication::exit() would be ignored before the event loop runs (the
    // login dialog runs before it), so the process is ended directly. Static
    // destructors are skipped on purpose: the application object still lives
    // on main()'s stack, and tearing Qt's globals down under it is unsafe.
    // Nothing is left unwritten: account.dat is closed when it is saved.
    std::fflush(nullptr);
    std::_Exit(status);
}

void setProcessExitHandlerForTesting(std::function<void(int)> handler)
{
    exitHandler() = std::move(handler);
}
