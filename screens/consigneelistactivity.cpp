#include "screens/consigneelistactivity.h"

ConsigneeListActivity::ConsigneeListActivity(QWidget* parent)
    : BaseActivity(parent)
{
    setObjectName(QStringLiteral("ConsigneeListActivity"));
    setTitle(QStringLiteral("收货人管理"));
    setActionButton(QStringLiteral("添加收货人"), this);
}

void ConsigneeListActivity::slot_action()
{
    // The list and its add form arrive with this screen's own work.
}
