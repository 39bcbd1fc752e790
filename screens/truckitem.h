#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

// One truck's tile on the home screen's board: its picture by status, its
// number and what it carries. Pointing at it shows the work button ("发车"
// or "运输完成"), for a resting truck the pack button ("配货"), and the
// loading list button ("装车单").
//
// With the truck's rated load ("tonnage") in its record, the tile also shows
// the weight booked on it against that load, as a thin bar and a short text
// ("18/20吨"); a record without it shows no bar.
//
// The tile keeps its truck record current: a status change answered by the
// server and a saved packing are written into the record, so the work button
// always decides from what the tile shows.
class TruckItem : public QWidget
{
    Q_OBJECT

public:
    // `host` is the home screen's activity controller; the tile starts out as
    // its child (the board's grid adopts it) and packing screens are created
    // with it as parent.
    TruckItem(const QJsonObject& truck, QWidget* host);

    int id() const { return truckId; }
    const QJsonObject& record() const { return truck; }

    // The server's answer to one of this tile's status changes. On success
    // `status` is the truck's new status: it is stored, completing empties the
    // loads, and the look follows. A refusal changes nothing.
    void takeStatusAnswer(bool success, int status);

    void showResting();
    void showWorking();

signals:
    void signal_truck_clicked(TruckItem* p);
    // The answer to this tile's status change, after the tile took it.
    void signal_status_answered(bool success, int status, QString errors);

public slots:
    void slot_pack_pressed();
    void slot_work_pressed();
    void slot_packactivity_finish(QVariant data);
    void slot_loading_list_pressed();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int status() const;
    QJsonArray loads() const;
    void setGoodsText(const QString& text);
    // The rated load in tonnes; 0 when the record does not say.
    double ratedLoad() const;
    double bookedWeight() const;
    // Shows the booked weight against the rated load, or nothing without one.
    void showLoad();
    void sendStatus(int status);
    void placeButtons();

    QPointer<QWidget> host;
    QJsonObject truck;
    int truckId;
    bool subscribed = false;
    // The weight of the packing under way, from its save until its result.
    double packedWeight = 0;
    QVBoxLayout* layout;
    QLabel* pictureLabel;
    QLabel* numberLabel;
    QWidget* loadRow;
    QProgressBar* loadBar;
    QLabel* loadLabel;
    QLabel* goodsLabel;
    QWidget* hoverOverlay;
    QPushButton* workButton;
    QPushButton* packButton;
    QPushButton* loadingListButton;
};
