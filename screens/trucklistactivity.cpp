#include "screens/trucklistactivity.h"

TruckListActivity::TruckListActivity(QWidget* parent)
    : BaseActivity(parent)
{
    setObjectName(QStringLiteral("TruckListActivity"));
    setTitle(QStringLiteral("货车管理"));
    setActionButton(QStringLiteral("添加货车"), this);
}

void TruckListActivity::slot_action()
{
    // The list and its add form arrive with this screen's own work.
}
