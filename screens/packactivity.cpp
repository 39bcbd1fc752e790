#include "screens/packactivity.h"

PackActivity::PackActivity(int truckId, const QString& truckNumber, QWidget* parent)
    : BaseActivity(parent)
    , truckId(truckId)
    , truckNumber(truckNumber)
{
    setObjectName(QStringLiteral("PackActivity"));
    setTitle(truckNumber + QStringLiteral(" 配货"));
    showBackButton();
    setActionButton(QStringLiteral("保存"), this);
}

void PackActivity::slot_action()
{
    // The form and its save come with the packing screen's own work.
}
