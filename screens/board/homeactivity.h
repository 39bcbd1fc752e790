#pragma once

#include "net/apicall.h"
#include "shell/baseactivity.h"
#include "widgets/pressguard.h"

#include <QPointer>

class DialogWidget;
class QComboBox;
class QGridLayout;
class QJsonArray;
class QPlainTextEdit;
class QScrollArea;
class SegmentItemButton;
class SegmentWidget;
class SideBar;
class TruckItem;

// The home section's root screen ("货车场站"): the board of the station's
// trucks, four tiles to a row, with a segment control in the header that
// switches between the resting trucks ("待配货的") and those on the road
// ("已出车的"). It carries the side bar in its side column and owns the
// feedback dialog that the side bar opens.
//
// The first load asks for every truck and shows those of the marked segment.
// Each segment's caption carries its number of trucks, from the latest answer
// that counted them and the departures and arrivals made on the board since.
//
// The board is filled only from the answer to its latest own request; a truck
// it answers again keeps its tile, which takes the new record. A status
// answer goes to the tile that asked for it while that tile still shows the
// record it asked on. After a change of trucks, trades or shippers the board
// asks again when it is next shown.
class HomeActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit HomeActivity(QWidget* parent = nullptr);

    // F5: the group shown, asked for again.
    void reloadFromStart() override;

public slots:
    void slot_action() override;
    void slot_scroller_top_bottom_reached(int pos);
    void slot_fetch_truck_finished(QJsonArray* trucks, const QString errors);
    void slot_sgementitem_clicked(unsigned int buttonIdex, SegmentItemButton* sender);
    void slot_change_truck_status_finished(bool success, int status, const QString errors);
    void slot_truck_clicked(TruckItem* p);
    void slot_feedback_clicked();
    void slot_feedback_ok_clicked(DialogWidget* dlg, QWidget* container);
    void slot_submit_feedback_finished(bool success, const QString errors);
    void slot_records_changed(RecordKind kind);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildBoard();
    void buildFeedbackDialog();
    void fetchGroup(int group);
    // Writes the trucks' number into each segment's caption ("待配货的 (8)");
    // -1 leaves a segment's number as it was.
    void setCounts(int resting, int onTheRoad);

    bool loaded = false;
    SegmentWidget* segmentWidget;
    QScrollArea* boardScrollArea;
    QWidget* boardContainer;
    QGridLayout* boardGrid;
    int boardWidth = 0;
    // The board's latest truck fetch while it awaits its answer.
    QPointer<ApiCall> boardCall;
    // The group the board shows: -1 (every truck) until a segment is clicked.
    int shownGroup = -1;
    // A change of the board's records came since it was last built.
    bool stale = false;
    // The trucks in each group as last answered; -1 until known.
    int counts[2] = { -1, -1 };
    SideBar* sideBar;
    DialogWidget* feedbackDialog;
    QComboBox* categoryBox;
    QPlainTextEdit* contentEdit;
    QPointer<TruckItem> currentTile;
    // Held from a feedback's "确定" until its answer: one press, one record.
    PressGuard feedbackGuard;
};
