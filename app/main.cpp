#include "app/appsetup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    freymoInitResources();
    applyApplicationLook();
    return 0;
}
