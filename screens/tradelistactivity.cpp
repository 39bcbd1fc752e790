#include "screens/tradelistactivity.h"

TradeListActivity::TradeListActivity(QWidget* parent)
    : BaseActivity(parent)
{
    setObjectName(QStringLiteral("TradeListActivity"));
    setTitle(QStringLiteral("业务管理"));
}

void TradeListActivity::slot_action()
{
    // Does nothing: the trade list has no action button.
}
