#include "app/fontsetup.h"

#include <fontconfig/fontconfig.h>

#include <system_error>

FontSetup::FontSetup()
{
    try {
        thread = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread to be had: Qt reads the configuration itself when it
        // first needs it, as it would without this.
    }
}

FontSetup::~FontSetup()
{
    wait();
}

void FontSetup::wait()
{
    if (thread.joinable())
        thread.join();
}
