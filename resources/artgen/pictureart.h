#pragma once

#include <QImage>

// Pictures: the trucks of the board and the truck list, the trade states,
// the empty-list picture and the call in progress.
namespace art::pictures {

QImage truckResting(); // green box, 待配货
QImage truckOnTheRoad(); // orange box, 出车中
QImage truckHeavy(); // red box, 重卡
QImage truckMedium(); // orange box, 中卡
QImage truckLight(); // green box, 轻卡

enum class TradeState { Waiting, InTransit, Done };
QImage tradeState(TradeState state);

QImage noData();
QImage calling();

} // namespace art::pictures
