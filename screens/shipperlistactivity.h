#pragma once

#include "shell/baseactivity.h"

// The root screen of the shipper section.
class ShipperListActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit ShipperListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
};
