#pragma once

#include "shell/baseactivity.h"

// The root screen of the truck section.
class TruckListActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit TruckListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
};
