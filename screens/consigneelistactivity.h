#pragma once

#include "shell/baseactivity.h"

// The root screen of the consignee section.
class ConsigneeListActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit ConsigneeListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
};
