#include "testenvironment.h"

#include "resources/applicationlook.h"

void initClientTestEnvironment()
{
    freymoInitResources();
    applyApplicationLook();
}
