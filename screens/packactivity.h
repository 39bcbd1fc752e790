#pragma once

#include "shell/baseactivity.h"

#include <QString>

// Packing a consignment on one truck. The board opens it with a result
// wanted; on a saved trade it finishes with its result text (the shipper's
// name, "托运的" and the goods).
class PackActivity : public BaseActivity
{
    Q_OBJECT

public:
    PackActivity(int truckId, const QString& truckNumber, QWidget* parent = nullptr);

public slots:
    void slot_action() override;

private:
    int truckId;
    QString truckNumber;
};
