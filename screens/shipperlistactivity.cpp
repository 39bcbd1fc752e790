#include "screens/shipperlistactivity.h"

ShipperListActivity::ShipperListActivity(QWidget* parent)
    : BaseActivity(parent)
{
    setObjectName(QStringLiteral("ShipperListActivity"));
    setTitle(QStringLiteral("托运人管理"));
    setActionButton(QStringLiteral("添加托运人"), this);
}

void ShipperListActivity::slot_action()
{
    // The list and its add form arrive with this screen's own work.
}
