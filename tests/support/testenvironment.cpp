#include "testenvironment.h"

#include "app/appsetup.h"

void initClientTestEnvironment()
{
    freymoInitResources();
    applyApplicationLook();
}
