#pragma once

#include "shell/baseactivity.h"

// The root screen of the trade section.
class TradeListActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit TradeListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
};
