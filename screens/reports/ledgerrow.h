#pragma once

#include <QFrame>
#include <QStringList>
#include <QVector>

class QLabel;

// One row of a ledger: its cells side by side, striped like every list row.
// A row whose debt is old carries the dynamic property "age" ("week" past 7
// days, "month" past 30) on itself and on its age cell, which the
// application's style sheet colours. A press reports the row's record.
class LedgerItem : public QFrame
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 40;

    // `stretches` gives each cell's share of the width; `ageCell` is the index
    // of the cell that shows the age, or -1.
    LedgerItem(int id, const QStringList& cells, const QVector<int>& stretches, int ageCell, const QString& age,
        int rowNumber, QWidget* parent);

    int recordId() const { return id; }
    QString cellText(int index) const;

signals:
    void signal_item_clicked(int id);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    int id;
    QList<QLabel*> labels;
};
