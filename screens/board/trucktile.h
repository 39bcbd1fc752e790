#pragma once

#include "screens/board/trucktilelook.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <memory>

class QPushButton;

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
//
// The tile keeps no widget for its picture, texts and load bar: it draws them
// after its look (TruckTileLook), which states their fonts, colours, pictures
// and places once, and takes its size hints from it. The overlay and its
// buttons are widgets, styled by boardStyleSheet(), set once on the board
// that holds the tiles; the tile sets no sheet of its own. They are made the
// first time the tile is pointed at: most tiles of a long board are never
// pointed at.
class TruckItem : public QWidget
{
    Q_OBJECT

public:
    // `host` is the home screen's activity controller: packing screens are
    // created with it as parent. The tile is made in `parent`, the board's
    // container; without one it starts out as the child of `host`.
    TruckItem(const QJsonObject& truck, QWidget* host, QWidget* parent = nullptr);
    ~TruckItem() override;

    int id() const { return truckId; }
    const QJsonObject& record() const { return truck; }

    // What the tile shows: the truck's number, what it carries, its booked
    // weight against its rated load ("18/20吨", empty when not shown) and
    // that load on the bar, in thousandths of a tonne, and its picture.
    const QString& numberText() const { return number; }
    const QString& goods() const { return goodsText; }
    const QString& loadShownText() const { return loadShown ? loadText : emptyText; }
    int loadBarValue() const { return barValue; }
    int loadBarMaximum() const { return barMaximum; }
    // The bar's place in the tile; empty when no bar is shown.
    QRect loadBarGeometry() const;
    const QPixmap& picture() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    // The truck as a later answer of the board has it: the tile shows it as
    // a tile built from it would. The answer to a status change asked for
    // before is no longer taken, and a question open on the old record sends
    // nothing: the new record may or may not know of that change.
    void setRecord(const QJsonObject& record);

    // The server's answer to one of this tile's status changes. On success
    // `status` is the truck's new status: it is stored, completing empties the
    // loads, and the look follows. A refusal changes nothing.
    void takeStatusAnswer(bool success, int status);

    void showResting();
    void showWorking();

    // The rules for the tiles' overlays and buttons, by object name, for the
    // style sheet of a widget that holds the tiles.
    static QString boardStyleSheet();

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
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Drawn;
    int status() const;
    QJsonArray loads() const;
    void setGoodsText(const QString& text);
    // The rated load in tonnes; 0 when the record does not say.
    double ratedLoad() const;
    double bookedWeight() const;
    // Shows the booked weight against the rated load, or nothing without one.
    void showLoad();
    // The picture and, once made, the buttons of a resting or a working
    // truck.
    void showLook(bool working);
    void makeHoverOverlay();
    void sendStatus(int status);
    void placeButtons();
    // A part shown changed: the places and the size hints follow.
    void partsChanged();
    TruckTileLook::Content content() const;
    // Made with its first use, and again after a change of font or style.
    const TruckTileLook& look() const;
    void placeParts() const;
    void takeHints() const;

    QPointer<QWidget> host;
    QJsonObject truck;
    int truckId;
    bool subscribed = false;
    // The weight of the packing under way, from its save until its result.
    double packedWeight = 0;
    // The look shown: a truck on the road, or a resting one.
    bool working = false;
    // Lives as long as the current record: the status answers and questions
    // asked on that record are bound to it.
    QObject* recordScope;
    QString number;
    QString goodsText;
    // Word-wrapped and centred in 145 pixels from its first text on.
    bool goodsStyled = false;
    bool loadShown = false;
    QString loadText;
    const QString emptyText;
    int barValue = 0;
    int barMaximum = 0;
    bool barOver = false;
    std::unique_ptr<Drawn> drawn;
    // Made on the first pointing; null until then.
    QWidget* hoverOverlay = nullptr;
    QPushButton* workButton = nullptr;
    QPushButton* packButton = nullptr;
    QPushButton* loadingListButton = nullptr;
};
