#include "app/fontsetup.h"

#include <fontconfig/fontconfig.h>

// Without a thread to be had, the set-up is done here: Qt would do the same
// at its first use of a font.
FontSetup::FontSetup()
    : task([] { FcInit(); })
{
}
