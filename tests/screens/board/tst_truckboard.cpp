// The truck board on the home screen and its tiles: building the board from
// the fetch answers, the work button's boxes and requests, the status answers
// reaching the tile that asked, and packing results reaching the tile that
// opened the packing screen.
#include "screens/board/homeactivity.h"
#include "screens/board/packactivity.h"
#include "screens/board/trucktile.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "shell/activitycontroller.h"
#include "widgets/segmentitembutton.h"
#include "widgets/segmentwidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

const QByteArray allTrucksPath("/api/truck/");

QJsonObject truck(int id, int status, const QList<QPair<QString, QString>>& loads = {})
{
    QJsonArray loadArray;
    for (const auto& load : loads)
        loadArray.append(
            QJsonObject { { QStringLiteral("shipper"), load.first }, { QStringLiteral("goods"), load.second } });
    return QJsonObject { { QStringLiteral("id"), id }, { QStringLiteral("number"), QStringLiteral("辽A%1").arg(id) },
        { QStringLiteral("status"), status }, { QStringLiteral("loads"), loadArray } };
}

RecordingHttpServer::Reply trucksReply(const QList<QJsonObject>& trucks, const QString& gate = QString())
{
    QJsonArray array;
    for (const QJsonObject& t : trucks)
        array.append(t);
    RecordingHttpServer::Reply reply = RecordingHttpServer::json(
        R"({"success":true,"data":)" + QJsonDocument(array).toJson(QJsonDocument::Compact) + "}");
    reply.gate = gate;
    return reply;
}

RecordingHttpServer::Reply statusReply(int status, const QString& gate = QString())
{
    RecordingHttpServer::Reply reply
        = RecordingHttpServer::json(QByteArray(R"({"success":true,"status":)") + QByteArray::number(status) + "}");
    reply.gate = gate;
    return reply;
}

const QList<QPair<QString, QString>> steel { { QStringLiteral("张三"), QStringLiteral("钢材") } };

// A form opened on top of the packing screen, as its add-new action does.
class StandInForm : public BaseActivity
{
    Q_OBJECT

public:
    using BaseActivity::BaseActivity;
    void slot_action() override { }
};

} // namespace

class TestTruckBoard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void boardBuildsAndEmpties_data();
    void boardBuildsAndEmpties();
    void boardAndTileGeometry();
    void firstShowShowsTheMarkedGroupAndCounts();
    void tileShowsItsLoad_data();
    void tileShowsItsLoad();
    void tileDrawsWhatItsWidgetsWould_data();
    void tileDrawsWhatItsWidgetsWould();
    void squeezedTileDrawsWhatItsWidgetsWould_data();
    void squeezedTileDrawsWhatItsWidgetsWould();
    void showingAgainBeforeTheFirstAnswer();
    void platformTextsShowAsTyped_data();
    void platformTextsShowAsTyped();
    void tileShowsItsTruck_data();
    void tileShowsItsTruck();
    void workButtonAsksAndSends_data();
    void workButtonAsksAndSends();
    void tileDecidesFromItsCurrentState();
    void answersReachTheTileThatAsked();
    void reloadKeepsTheTilesOfItsTrucks();
    void reloadedBoardIgnoresOldAnswers();
    void questionOutlivedByItsRecord_data();
    void questionOutlivedByItsRecord();
    void packingResultReachesOnlyItsTile_data();
    void packingResultReachesOnlyItsTile();

private:
    void showBoard(const QList<QJsonObject>& trucks);
    // Resting trucks come with the first show; the others through the
    // "已出车的" segment.
    void showTrucks(const QList<QJsonObject>& trucks);
    QStringList segmentTexts() const;
    QList<TruckItem*> tiles() const;
    void hover(QWidget* target);
    // Points at the tile and presses one of its buttons.
    void press(TruckItem* tile, const char* buttonName);
    void answerWork(TruckItem* tile, QMessageBox::StandardButton answer);
    PackActivity* openPacking(TruckItem* tile);
    void waitUntilHomeIsTop();
    QWidget* widgetsLike(TruckItem* tile, bool over);
    static QString goods(TruckItem* tile) { return tile->goods(); }
    static QPushButton* button(TruckItem* tile, const char* name)
    {
        return tile->findChild<QPushButton*>(QLatin1String(name));
    }

    ScreenTestKit kit;
    ActivityController* controller = nullptr;
    HomeActivity* home = nullptr;
};

void TestTruckBoard::init()
{
    kit.initTest();
    controller = new ActivityController;
    controller->resize(1135, 600);
    home = new HomeActivity;
    controller->startActivity(home, false, false);
}

void TestTruckBoard::cleanup()
{
    delete controller;
    controller = nullptr;
    kit.cleanupTest();
}

void TestTruckBoard::showBoard(const QList<QJsonObject>& trucks)
{
    kit.server.on(allTrucksPath, trucksReply(trucks));
    controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller));
    QVERIFY(kit.waitForRequests(allTrucksPath));
    // The first show's answer fills the board with the resting trucks.
    const auto resting = std::count_if(trucks.cbegin(), trucks.cend(),
        [](const QJsonObject& t) { return t.value(QStringLiteral("status")).toInt() == 0; });
    QTRY_COMPARE(tiles().size(), int(resting));
}

void TestTruckBoard::showTrucks(const QList<QJsonObject>& trucks)
{
    if (trucks.first().value(QStringLiteral("status")).toInt() == 0) {
        showBoard(trucks);
        return;
    }
    showBoard({});
    kit.server.on("/api/truck/1/", trucksReply(trucks));
    QTest::mouseClick(home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"))->items().at(1), Qt::LeftButton);
    QTRY_COMPARE(tiles().size(), trucks.size());
}

QStringList TestTruckBoard::segmentTexts() const
{
    QStringList texts;
    for (const SegmentItemButton* segment : home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"))->items())
        texts << segment->text();
    return texts;
}

QList<TruckItem*> TestTruckBoard::tiles() const
{
    QList<TruckItem*> found;
    const QLayout* grid = home->findChild<QWidget*>(QStringLiteral("boardContainer"))->layout();
    for (int i = 0; i < grid->count(); ++i)
        found << qobject_cast<TruckItem*>(grid->itemAt(i)->widget());
    return found;
}

void TestTruckBoard::hover(QWidget* target)
{
    // The cursor may rest on this spot from an earlier test: come from elsewhere.
    QTest::mouseMove(controller, QPoint(1, 1));
    QTest::mouseMove(target);
}

void TestTruckBoard::press(TruckItem* tile, const char* buttonName)
{
    hover(tile);
    const QPointer<QPushButton> target = button(tile, buttonName);
    QTRY_VERIFY(target->isVisible());
    // The press may take the tile with it (a board rebuilt during its box).
    QTest::mousePress(target, Qt::LeftButton);
    QTest::mouseRelease(target ? static_cast<QWidget*>(target) : controller, Qt::LeftButton);
}

void TestTruckBoard::answerWork(TruckItem* tile, QMessageBox::StandardButton answer)
{
    kit.boxes->expect(answer);
    press(tile, "workButton");
    QVERIFY(kit.boxes->waitForAll());
}

PackActivity* TestTruckBoard::openPacking(TruckItem* tile)
{
    press(tile, "packButton");
    return qobject_cast<PackActivity*>(controller->topActivity());
}

void TestTruckBoard::waitUntilHomeIsTop()
{
    QTRY_COMPARE(controller->activities().size(), 1);
}

void TestTruckBoard::boardBuildsAndEmpties_data()
{
    QTest::addColumn<QByteArray>("secondAnswer");
    QTest::newRow("no trucks") << QByteArray(R"({"success":true,"data":[]})");
    QTest::newRow("refused") << QByteArray(R"({"success":false,"errors":"无权限"})");
}

void TestTruckBoard::boardBuildsAndEmpties()
{
    QFETCH(QByteArray, secondAnswer);
    showBoard({ truck(1, 0), truck(2, 0), truck(3, 0), truck(4, 0), truck(5, 0) });
    QCOMPARE(kit.requestsTo(allTrucksPath).first().target, QByteArray("/api/truck/?token=tk1&user=7"));

    // Four to a row in the order of the answer; 160 pixels a row.
    auto* grid = qobject_cast<QGridLayout*>(home->findChild<QWidget*>(QStringLiteral("boardContainer"))->layout());
    int row = -1, column = -1, span = 0;
    grid->getItemPosition(3, &row, &column, &span, &span);
    QCOMPARE(QPoint(column, row), QPoint(3, 0));
    grid->getItemPosition(4, &row, &column, &span, &span);
    QCOMPARE(QPoint(column, row), QPoint(0, 1));
    QCOMPARE(tiles().at(4)->id(), 5);
    QCOMPARE(grid->parentWidget()->height(), 320);

    // A loaded board asks for nothing when shown again.
    controller->hide();
    controller->show();
    QCOMPARE(kit.requestsTo(allTrucksPath).size(), 1);

    // The segment reloads its group; an empty or refused answer empties the board.
    const QByteArray onTheRoad("/api/truck/1/");
    kit.server.on(onTheRoad, RecordingHttpServer::json(secondAnswer));
    auto* segments = home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"));
    QTest::mouseClick(segments->items().at(1), Qt::LeftButton);
    QVERIFY(kit.waitForRequests(onTheRoad));
    QTRY_VERIFY(tiles().isEmpty());
    QCOMPARE(kit.requestsTo(onTheRoad).first().target, onTheRoad + "?token=tk1&user=7");
    auto* noData = home->findChild<QLabel*>(QStringLiteral("NoData"));
    QVERIFY(noData->isVisible());
    QTRY_VERIFY(home->rect().contains(noData->geometry()));
}

void TestTruckBoard::boardAndTileGeometry()
{
    showBoard({ truck(1, 0) });
    auto* segments = home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"));
    QCOMPARE(segments->geometry(), QRect(1135 - 390, 2, 160, 30));
    QWidget* board = home->findChild<QWidget*>(QStringLiteral("boardContainer"));
    QCOMPARE(board->size(), QSize(1135 - 255, 160));

    // A single tile still takes a quarter of the board.
    TruckItem* tile = tiles().first();
    QTRY_VERIFY(qAbs(tile->width() - board->width() / 4) <= 5);
    hover(tile);
    QWidget* overlay = tile->findChild<QWidget*>(QStringLiteral("hoverOverlay"));
    QTRY_VERIFY(overlay && overlay->isVisible());
    QCOMPARE(overlay->geometry(), tile->rect());
    const int x = (tile->width() - 135) / 2;
    QCOMPARE(button(tile, "workButton")->geometry(), QRect(x, tile->height() - 32, 135, 30));
    QCOMPARE(button(tile, "packButton")->geometry(), QRect(x, tile->height() - 65, 135, 30));
    QTest::mouseMove(segments);
    QTRY_VERIFY(!overlay->isVisible());

    controller->resize(1235, 600);
    QTRY_COMPARE(segments->geometry(), QRect(1235 - 390, 2, 160, 30));
    QCOMPARE(board->width(), 1235 - 255);
}

void TestTruckBoard::firstShowShowsTheMarkedGroupAndCounts()
{
    QCOMPARE(segmentTexts(), (QStringList { QStringLiteral("待配货的"), QStringLiteral("已出车的") }));
    // Every truck is asked for; the marked segment's trucks are shown.
    kit.server.on("/api/truck/4/sleep/", statusReply(0));
    showBoard({ truck(1, 0), truck(2, 1), truck(3, 0), truck(4, 1), truck(5, 0) });
    QCOMPARE(tiles().size(), 3);
    for (TruckItem* tile : tiles())
        QCOMPARE(tile->record().value(QStringLiteral("status")).toInt(), 0);
    QCOMPARE(segmentTexts(), (QStringList { QStringLiteral("待配货的 (3)"), QStringLiteral("已出车的 (2)") }));

    // A group's answer counts that group; an arrival moves a truck across.
    kit.server.on("/api/truck/1/", trucksReply({ truck(4, 1, steel) }));
    QTest::mouseClick(home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"))->items().at(1), Qt::LeftButton);
    QTRY_COMPARE(segmentTexts(), (QStringList { QStringLiteral("待配货的 (3)"), QStringLiteral("已出车的 (1)") }));
    answerWork(tiles().first(), QMessageBox::Yes);
    QTRY_COMPARE(segmentTexts(), (QStringList { QStringLiteral("待配货的 (4)"), QStringLiteral("已出车的 (0)") }));
}

void TestTruckBoard::tileShowsItsLoad_data()
{
    QTest::addColumn<QVariant>("tonnage"); // invalid: the platform sends none
    QTest::addColumn<QVariantList>("weights");
    QTest::addColumn<double>("packed"); // a packing saved on the tile; 0 for none
    QTest::addColumn<QString>("text"); // empty: no load shown
    QTest::addColumn<int>("percent");
    QTest::newRow("no rated load") << QVariant() << QVariantList { 12.5 } << 0.0 << QString() << 0;
    QTest::newRow("rated load as text") << QVariant(QStringLiteral("20")) << QVariantList { 12.5, 5.5 } << 0.0
                                        << QStringLiteral("18/20吨") << 90;
    QTest::newRow("empty truck") << QVariant(9.6) << QVariantList {} << 0.0 << QStringLiteral("0/9.6吨") << 0;
    QTest::newRow("packed past the rated load")
        << QVariant(20) << QVariantList { 18 } << 7.25 << QStringLiteral("25.25/20吨") << 100;
}

void TestTruckBoard::tileShowsItsLoad()
{
    QFETCH(QVariant, tonnage);
    QFETCH(QVariantList, weights);
    QFETCH(double, packed);
    QFETCH(QString, text);
    QFETCH(int, percent);
    QJsonObject record = truck(3, 0);
    QJsonArray loads;
    for (const QVariant& weight : weights)
        loads.append(QJsonObject { { QStringLiteral("shipper"), QStringLiteral("张三") },
            { QStringLiteral("goods"), QStringLiteral("钢材") }, { QStringLiteral("weight"), weight.toDouble() } });
    record.insert(QStringLiteral("loads"), loads);
    if (tonnage.isValid())
        record.insert(QStringLiteral("tonnage"), QJsonValue::fromVariant(tonnage));
    showBoard({ record });
    TruckItem* tile = tiles().first();
    if (packed > 0) {
        PackActivity* pack = openPacking(tile);
        QVERIFY(pack);
        emit pack->signal_packed(packed);
        pack->finish(QStringLiteral("李四托运的水泥"));
        waitUntilHomeIsTop();
    }
    QCOMPARE(tile->loadShownText(), text);
    QCOMPARE(tile->loadBarGeometry().isEmpty(), text.isEmpty());
    if (text.isEmpty())
        return;
    QCOMPARE(100 * tile->loadBarValue() / tile->loadBarMaximum(), percent);
}

void TestTruckBoard::tileDrawsWhatItsWidgetsWould_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("goods");
    QTest::addColumn<double>("tonnage");
    QTest::addColumn<double>("weight");
    QTest::newRow("nothing packed") << "辽A1" << QStringList() << 0.0 << 0.0;
    QTest::newRow("booked, goods wrapping")
        << "辽A2" << QStringList { QStringLiteral("华南五金贸易有限公司"), QStringLiteral("不锈钢管材") } << 30.0
        << 18.7;
    QTest::newRow("over the rated load") << "辽A3" << QStringList { QStringLiteral("张三"), QStringLiteral("钢材") }
                                         << 10.0 << 12.5;
    QTest::newRow("number wrapping") << "辽A 1234 5678 9012 3456 7890 1234"
                                     << QStringList { QStringLiteral("李四"), QStringLiteral("水泥") } << 0.0 << 0.0;
    // More than the tile holds: the parts are squeezed, the absent load row
    // counting as an empty slot.
    QTest::newRow("squeezed") << "辽A 1234 5678 9012 3456 7890 1234"
                              << QStringList { QStringLiteral("华南五金贸易有限公司"), QStringLiteral("不锈钢管材"),
                                     QStringLiteral("超级长的名字超级长的名字"), QStringLiteral("木材") }
                              << 0.0 << 0.0;
    QTest::newRow("squeezed with a load") << "京B88888挂"
                                          << QStringList { QStringLiteral("张三"), QStringLiteral("钢材"),
                                                 QStringLiteral("李四"), QStringLiteral("Steel pipes and fittings") }
                                          << 24.79 << 12.5;
}

// Plain widgets showing what `tile` shows, in the board beside it: a column
// of plain-text labels in the application's label face, the number at 16
// pixels and the rest in grey at 12, and a 4-pixel progress bar with rounded
// ends, `over` the rated load or not.
QWidget* TestTruckBoard::widgetsLike(TruckItem* tile, bool over)
{
    auto* widgets = new QWidget(tile->parentWidget());
    widgets->setObjectName(QStringLiteral("tileLook"));
    widgets->setStyleSheet(QStringLiteral("QLabel#numberLabel{font-size:16px;}"
                                          "QLabel#loadLabel,QLabel#goodsLabel{color:#999999; font-size:12px;}"
                                          "QProgressBar{border:none; background:#e5e5e5; border-radius:2px;}"
                                          "QProgressBar::chunk{background:#42A85B; border-radius:2px;}"
                                          "QProgressBar[over=\"true\"]::chunk{background:#ff6600;}"));
    auto* column = new QVBoxLayout(widgets);
    column->setContentsMargins(5, 5, 5, 5);
    column->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    const auto label = [](QWidget* parent, const char* name, const QString& text) {
        // Emptied rather than never given a text: a label that has never
        // held one asks for a little room of its own.
        auto* made = new QLabel(QStringLiteral("-"), parent);
        made->setObjectName(QLatin1String(name));
        made->setTextFormat(Qt::PlainText);
        made->setText(text);
        return made;
    };
    QLabel* picture = label(widgets, "pictureLabel", QString());
    picture->setPixmap(tile->picture());
    picture->setAlignment(Qt::AlignCenter);
    QLabel* numberLabel = label(widgets, "numberLabel", tile->numberText());
    numberLabel->setWordWrap(true);
    numberLabel->setAlignment(Qt::AlignCenter);
    auto* loadRow = new QWidget(widgets);
    loadRow->setObjectName(QStringLiteral("loadRow"));
    loadRow->setFixedWidth(145);
    loadRow->setVisible(!tile->loadShownText().isEmpty());
    auto* row = new QHBoxLayout(loadRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* bar = new QProgressBar(loadRow);
    bar->setObjectName(QStringLiteral("loadBar"));
    bar->setProperty("over", over);
    bar->setTextVisible(false);
    bar->setFixedHeight(4);
    bar->setRange(0, tile->loadBarMaximum());
    bar->setValue(tile->loadBarValue());
    row->addWidget(bar, 1, Qt::AlignVCenter);
    row->addWidget(label(loadRow, "loadLabel", tile->loadShownText()));
    QLabel* goodsLabel = label(widgets, "goodsLabel", tile->goods());
    if (!tile->goods().isEmpty()) {
        goodsLabel->setWordWrap(true);
        goodsLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        goodsLabel->setFixedWidth(145);
    }
    column->addWidget(picture);
    column->addWidget(numberLabel);
    column->addWidget(loadRow, 0, Qt::AlignHCenter);
    column->addWidget(goodsLabel);
    return widgets;
}

// A tile keeps no widget for its parts, yet takes the room and shows the
// pixels of the labels and the bar it stands for, laid out and styled in the
// board as a tile of them would be.
void TestTruckBoard::tileDrawsWhatItsWidgetsWould()
{
    QFETCH(QString, number);
    QFETCH(QStringList, goods);
    QFETCH(double, tonnage);
    QFETCH(double, weight);
    QJsonObject record = truck(9, 0);
    record.insert(QStringLiteral("number"), number);
    QJsonArray loads;
    for (int i = 0; i + 1 < goods.size(); i += 2)
        loads.append(QJsonObject { { QStringLiteral("shipper"), goods.at(i) },
            { QStringLiteral("goods"), goods.at(i + 1) }, { QStringLiteral("weight"), weight / (goods.size() / 2) } });
    record.insert(QStringLiteral("loads"), loads);
    if (tonnage > 0)
        record.insert(QStringLiteral("tonnage"), tonnage);
    showBoard({ record });
    TruckItem* tile = tiles().first();

    QWidget* widgets = widgetsLike(tile, weight > tonnage);

    QCOMPARE(tile->sizeHint(), widgets->sizeHint());
    QCOMPARE(tile->minimumSizeHint(), widgets->minimumSizeHint());
    for (int width : { 150, 220 })
        QCOMPARE(tile->heightForWidth(width), widgets->heightForWidth(width));
    // Grabbing lays the board out first.
    const QImage drawn = tile->grab().toImage();
    widgets->setGeometry(tile->geometry());
    widgets->show();
    QCOMPARE(drawn, widgets->grab().toImage());
    delete widgets;
}

void TestTruckBoard::squeezedTileDrawsWhatItsWidgetsWould_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("narrower than its goods") << QSize(100, 160) << true;
    QTest::newRow("shorter than its texts") << QSize(216, 110) << true;
    QTest::newRow("both") << QSize(72, 90) << true;
    QTest::newRow("on a disabled board") << QSize(216, 155) << false;
}

// A tile given less room than its texts take squeezes and cuts its parts as
// the widgets it stands for would.
void TestTruckBoard::squeezedTileDrawsWhatItsWidgetsWould()
{
    QFETCH(QSize, size);
    QFETCH(bool, enabled);
    showBoard({});
    const auto load = [](const QString& shipper, const QString& goods, double weight) {
        return QJsonObject { { QStringLiteral("shipper"), shipper }, { QStringLiteral("goods"), goods },
            { QStringLiteral("weight"), weight } };
    };
    // Booked past its rated load, with a wrapping number and two loads.
    QJsonObject record = truck(9, 0);
    record.insert(QStringLiteral("number"), QStringLiteral("辽A 1234 5678 9012 3456"));
    record.insert(QStringLiteral("tonnage"), 0.5);
    record.insert(QStringLiteral("loads"),
        QJsonArray { load(QStringLiteral("华南五金贸易有限公司"), QStringLiteral("不锈钢管材"), 0.4),
            load(QStringLiteral("李四"), QStringLiteral("Steel pipes and fittings"), 0.3) });
    // Beside the board's tiles, out of its grid, at a size of its own.
    QWidget* board = home->findChild<QWidget*>(QStringLiteral("boardContainer"));
    auto* tile = new TruckItem(record, controller, board);
    tile->setGeometry(QRect(QPoint(0, 0), size));
    tile->show();
    QWidget* widgets = widgetsLike(tile, true);
    widgets->setGeometry(tile->geometry());
    widgets->show();
    board->setEnabled(enabled);
    QCOMPARE(tile->grab().toImage(), widgets->grab().toImage());
}

void TestTruckBoard::showingAgainBeforeTheFirstAnswer()
{
    kit.server.on(allTrucksPath, trucksReply({ truck(1, 0) }, QStringLiteral("trucks")));
    controller->show();
    QVERIFY(kit.waitForRequests(allTrucksPath));
    controller->hide();
    controller->show();
    QVERIFY(kit.waitForRequests(allTrucksPath, 2));
    // Asking again leaves the screen filling its section.
    QCOMPARE(home->size(), controller->size());
    kit.server.release(QStringLiteral("trucks"));
    QTRY_COMPARE(tiles().size(), 1);
}

void TestTruckBoard::tileShowsItsTruck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("work");
    QTest::addColumn<bool>("packShown");
    QTest::newRow("resting") << 0 << "img_truck_sleeping"
                             << "发车" << true;
    QTest::newRow("on the road") << 1 << "img_truck_working"
                                 << "运输完成" << false;
    QTest::newRow("another status") << 5 << "img_truck_working"
                                    << "运输完成" << false;
}

void TestTruckBoard::platformTextsShowAsTyped_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("shipper");
    QTest::addColumn<QString>("cargo");
    QTest::newRow("markup") << "<b>辽A8</b>"
                            << "<i>张三</i>"
                            << "<img src=x>钢材";
    QTest::newRow("entities") << "辽A&amp;8"
                              << "A&B"
                              << "&lt;水泥&gt;";
}

// The platform's texts on a tile are text, never markup.
void TestTruckBoard::platformTextsShowAsTyped()
{
    QFETCH(QString, number);
    QFETCH(QString, shipper);
    QFETCH(QString, cargo);
    QJsonObject record = truck(8, 0, { { shipper, cargo } });
    record.insert(QStringLiteral("number"), number);
    showBoard({ record });
    TruckItem* tile = tiles().first();
    QCOMPARE(tile->numberText(), number);
    QCOMPARE(goods(tile), shipper + QStringLiteral("托运的") + cargo);
}

void TestTruckBoard::tileShowsItsTruck()
{
    QFETCH(int, status);
    QFETCH(QString, picture);
    QFETCH(QString, work);
    QFETCH(bool, packShown);
    showTrucks({ truck(8, status,
        { { QStringLiteral("张三"), QStringLiteral("钢材") }, { QStringLiteral("李四"), QStringLiteral("水泥") } }) });
    TruckItem* tile = tiles().first();
    QCOMPARE(tile->numberText(), QStringLiteral("辽A8"));
    QCOMPARE(goods(tile), QStringLiteral("张三托运的钢材，\n李四托运的水泥"));
    QVERIFY2(tile->accessibleName().startsWith(QStringLiteral("辽A8 "))
            && tile->accessibleName().endsWith(QStringLiteral("李四托运的水泥")),
        qPrintable(tile->accessibleName()));
    QCOMPARE(tile->picture().toImage(), QPixmap(QStringLiteral(":/images/%1.png").arg(picture)).toImage());
    hover(tile);
    QTRY_VERIFY(button(tile, "workButton") && button(tile, "workButton")->isVisible());
    QCOMPARE(button(tile, "workButton")->text(), work);
    QCOMPARE(button(tile, "packButton")->isVisible(), packShown);
}

void TestTruckBoard::workButtonAsksAndSends_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("answer"); // the button pressed on the box; NoButton when none comes
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("reply"); // the server's answer; empty when nothing is sent
    QTest::addColumn<QString>("workAfter");

    const QString depart = QStringLiteral("提醒|确定要发车吗？");
    const QString complete = QStringLiteral("提醒|确定运输完成了吗？");
    QTest::newRow("empty truck") << 0 << false << int(QMessageBox::Ok) << "提醒|本车尚未配货，不能发车！"
                                 << QByteArray() << "发车";
    QTest::newRow("depart") << 0 << true << int(QMessageBox::Yes) << depart
                            << QByteArray(R"({"success":true,"status":1})") << "运输完成";
    QTest::newRow("depart declined") << 0 << true << int(QMessageBox::No) << depart << QByteArray() << "发车";
    QTest::newRow("complete") << 1 << true << int(QMessageBox::Yes) << complete
                              << QByteArray(R"({"success":true,"status":0})") << "发车";
    QTest::newRow("complete declined") << 1 << true << int(QMessageBox::No) << complete << QByteArray() << "运输完成";
    QTest::newRow("refused") << 1 << true << int(QMessageBox::Yes) << complete
                             << QByteArray(R"({"success":false,"errors":"状态错误"})") << "运输完成";
    QTest::newRow("another status") << 3 << true << int(QMessageBox::NoButton) << QString() << QByteArray()
                                    << "运输完成";
}

void TestTruckBoard::workButtonAsksAndSends()
{
    QFETCH(int, status);
    QFETCH(bool, loaded);
    QFETCH(int, answer);
    QFETCH(QString, box);
    QFETCH(QByteArray, reply);
    QFETCH(QString, workAfter);
    const QByteArray path = status == 0 ? "/api/truck/3/work/" : "/api/truck/3/sleep/";
    if (!reply.isEmpty())
        kit.server.on(path, RecordingHttpServer::json(reply));
    showTrucks({ truck(3, status, loaded ? steel : QList<QPair<QString, QString>>()) });
    TruckItem* tile = tiles().first();

    QStringList boxes;
    if (answer != QMessageBox::NoButton) {
        kit.boxes->expect(QMessageBox::StandardButton(answer));
        boxes << box;
    }
    if (reply.contains("false")) {
        kit.boxes->expect(QMessageBox::Ok);
        boxes << QStringLiteral("提醒|操作失败！");
    }
    press(tile, "workButton");
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.boxes->seenTexts(), boxes);
    const QList<RecordingHttpServer::Request> sent = kit.requestsTo(path);
    QCOMPARE(sent.size(), reply.isEmpty() ? 0 : 1);
    if (!sent.isEmpty())
        QCOMPARE(sent.first().target, path + "?token=tk1&user=7");

    QCOMPARE(button(tile, "workButton")->text(), workAfter);
    QCOMPARE(button(tile, "packButton")->isHidden(), workAfter != QStringLiteral("发车"));
    // Completing unloads the truck.
    QCOMPARE(goods(tile).isEmpty(), !loaded || (reply.contains("\"status\":0")));
}

void TestTruckBoard::tileDecidesFromItsCurrentState()
{
    kit.server.on("/api/truck/3/work/", statusReply(1));
    kit.server.on("/api/truck/3/sleep/", statusReply(0));
    kit.server.on("/api/truck/4/work/", statusReply(1));
    showBoard({ truck(3, 0, steel), truck(4, 0) });
    TruckItem* loaded = tiles().at(0);
    TruckItem* empty = tiles().at(1);

    // Departed, the tile asks whether the transport is complete, then
    // completed and unloaded it refuses to depart.
    answerWork(loaded, QMessageBox::Yes);
    QTRY_COMPARE(button(loaded, "workButton")->text(), QStringLiteral("运输完成"));
    answerWork(loaded, QMessageBox::Yes);
    QTRY_COMPARE(button(loaded, "workButton")->text(), QStringLiteral("发车"));
    answerWork(loaded, QMessageBox::Ok);
    QCOMPARE(kit.boxes->seenTexts(),
        (QStringList { QStringLiteral("提醒|确定要发车吗？"), QStringLiteral("提醒|确定运输完成了吗？"),
            QStringLiteral("提醒|本车尚未配货，不能发车！") }));
    QCOMPARE(kit.requestsTo("/api/truck/3/work/").size(), 1);
    QCOMPARE(kit.requestsTo("/api/truck/3/sleep/").size(), 1);

    // Packed, an empty truck may depart.
    PackActivity* pack = openPacking(empty);
    QVERIFY(pack);
    pack->finish(QStringLiteral("王五托运的木材"));
    waitUntilHomeIsTop();
    QCOMPARE(goods(empty), QStringLiteral("王五托运的木材"));
    answerWork(empty, QMessageBox::Yes);
    QVERIFY(kit.waitForRequests("/api/truck/4/work/"));
    QTRY_COMPARE(button(empty, "workButton")->text(), QStringLiteral("运输完成"));
}

void TestTruckBoard::answersReachTheTileThatAsked()
{
    kit.server.on("/api/truck/3/work/", statusReply(1, QStringLiteral("first")));
    kit.server.on("/api/truck/4/work/", statusReply(1, QStringLiteral("second")));
    showBoard({ truck(3, 0, steel), truck(4, 0, steel) });
    TruckItem* first = tiles().at(0);
    TruckItem* second = tiles().at(1);
    answerWork(first, QMessageBox::Yes);
    answerWork(second, QMessageBox::Yes);
    QVERIFY(kit.waitForRequests("/api/truck/4/work/"));

    kit.server.release(QStringLiteral("first"));
    QTRY_COMPARE(button(first, "workButton")->text(), QStringLiteral("运输完成"));
    QCOMPARE(button(second, "workButton")->text(), QStringLiteral("发车"));

    kit.server.release(QStringLiteral("second"));
    QTRY_COMPARE(button(second, "workButton")->text(), QStringLiteral("运输完成"));
    QCOMPARE(button(first, "workButton")->text(), QStringLiteral("运输完成"));
}

void TestTruckBoard::reloadKeepsTheTilesOfItsTrucks()
{
    const auto loaded = [](int id, int status, double weight) {
        QJsonObject record = truck(id, status);
        record.insert(QStringLiteral("tonnage"), 20);
        record.insert(QStringLiteral("loads"),
            QJsonArray { QJsonObject { { QStringLiteral("shipper"), QStringLiteral("张三") },
                { QStringLiteral("goods"), QStringLiteral("钢材") }, { QStringLiteral("weight"), weight } } });
        return record;
    };
    // The chunk's colour in the middle of the booked part.
    const auto barColour = [](TruckItem* tile) {
        const QImage shown = tile->grab().toImage();
        const QRect bar = tile->loadBarGeometry();
        return shown.pixelColor(bar.x() + bar.width() / 4, bar.y() + bar.height() / 2).name();
    };
    showBoard({ loaded(3, 0, 18), truck(4, 0), truck(6, 0) });
    const QList<TruckItem*> before = tiles();
    const QPointer<TruckItem> dropped = before.at(1);
    QCOMPARE(barColour(before.at(0)), QStringLiteral("#42a85b"));
    // One tile pointed at before the reload, one after it only.
    hover(before.at(2));
    QTRY_VERIFY(button(before.at(2), "packButton") && button(before.at(2), "packButton")->isVisible());

    kit.server.on("/api/truck/0/", trucksReply({ loaded(6, 1, 5), loaded(3, 0, 25), truck(7, 0) }));
    QTest::mouseClick(home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"))->items().at(0), Qt::LeftButton);
    QTRY_VERIFY(dropped.isNull());
    QCOMPARE(tiles().size(), 3);
    QCOMPARE(tiles().at(0), before.at(2));
    QCOMPARE(tiles().at(1), before.at(0));
    QCOMPARE(tiles().at(2)->id(), 7);

    TruckItem* onTheRoad = tiles().at(0);
    TruckItem* overloaded = tiles().at(1);
    QCOMPARE(onTheRoad->record().value(QStringLiteral("status")).toInt(), 1);
    QCOMPARE(goods(onTheRoad), QStringLiteral("张三托运的钢材"));
    QCOMPARE(onTheRoad->loadShownText(), QStringLiteral("5/20吨"));
    QCOMPARE(overloaded->loadShownText(), QStringLiteral("25/20吨"));
    QCOMPARE(barColour(overloaded), QStringLiteral("#ff6600"));
    for (TruckItem* tile : { onTheRoad, overloaded }) {
        const bool resting = tile == overloaded;
        hover(tile);
        QTRY_VERIFY(button(tile, "workButton") && button(tile, "workButton")->isVisible());
        QCOMPARE(button(tile, "workButton")->text(), resting ? QStringLiteral("发车") : QStringLiteral("运输完成"));
        QCOMPARE(button(tile, "packButton")->isVisible(), resting);
    }
}

void TestTruckBoard::reloadedBoardIgnoresOldAnswers()
{
    kit.server.on("/api/truck/3/work/", statusReply(1, QStringLiteral("status")));
    kit.server.on("/api/truck/0/", trucksReply({ truck(9, 0) }, QStringLiteral("resting")));
    kit.server.on("/api/truck/1/", trucksReply({ truck(3, 0, steel) }));
    showBoard({ truck(3, 0, steel) });
    TruckItem* pressed = tiles().first();
    answerWork(pressed, QMessageBox::Yes);
    QVERIFY(kit.waitForRequests("/api/truck/3/work/"));

    // Two segment clicks; the first one's answer comes last. The second
    // answers the same truck: its tile stays.
    auto* segments = home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"));
    QTest::mouseClick(segments->items().at(0), Qt::LeftButton);
    QVERIFY(kit.waitForRequests("/api/truck/0/"));
    QTest::mouseClick(segments->items().at(1), Qt::LeftButton);
    QTRY_COMPARE(segmentTexts().at(1), QStringLiteral("已出车的 (1)"));

    kit.server.release(QStringLiteral("resting"));
    kit.server.release(QStringLiteral("status"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(tiles(), QList<TruckItem*> { pressed });
    QCOMPARE(pressed->id(), 3);
    QCOMPARE(button(pressed, "workButton")->text(), QStringLiteral("发车"));
    QCOMPARE(segmentTexts().at(1), QStringLiteral("已出车的 (1)"));
}

void TestTruckBoard::questionOutlivedByItsRecord_data()
{
    QTest::addColumn<int>("reloaded"); // the truck the reload answers
    QTest::newRow("same truck, tile kept") << 3;
    QTest::newRow("another truck, tile gone") << 5;
}

void TestTruckBoard::questionOutlivedByItsRecord()
{
    QFETCH(int, reloaded);
    const QList<QPair<QString, QString>> cement { { QStringLiteral("李四"), QStringLiteral("水泥") } };
    kit.server.on("/api/truck/0/", trucksReply({ truck(reloaded, 0, cement) }, QStringLiteral("trucks")));
    showBoard({ truck(3, 0, steel) });
    auto* segments = home->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"));
    QTest::mouseClick(segments->items().at(0), Qt::LeftButton);
    QVERIFY(kit.waitForRequests("/api/truck/0/"));

    // The board takes the reload while the tile asks; a Yes then sends
    // nothing.
    const QPointer<TruckItem> pressed = tiles().first();
    kit.boxes->expectDialog([this, reloaded](QWidget* box) {
        kit.server.release(QStringLiteral("trucks"));
        QVERIFY(QTest::qWaitFor([this, reloaded] {
            return tiles().size() == 1 && tiles().first()->id() == reloaded
                && goods(tiles().first()) == QStringLiteral("李四托运的水泥");
        }));
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
    });
    press(pressed, "workButton");
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo("/api/truck/3/work/").size(), 0);
    QCOMPARE(pressed.isNull(), reloaded != 3);
    QCOMPARE(tiles().size(), 1);
}

void TestTruckBoard::packingResultReachesOnlyItsTile_data()
{
    QTest::addColumn<bool>("formInside"); // a shipper form saved on top of the packing screen
    QTest::addColumn<bool>("saved"); // the packing screen saved, else left with "返回"
    QTest::newRow("saved") << false << true;
    QTest::newRow("back") << false << false;
    QTest::newRow("shipper added, then saved") << true << true;
    QTest::newRow("shipper added, then back") << true << false;
}

void TestTruckBoard::packingResultReachesOnlyItsTile()
{
    QFETCH(bool, formInside);
    QFETCH(bool, saved);
    showBoard({ truck(3, 0, steel), truck(4, 0) });
    TruckItem* first = tiles().at(0);
    TruckItem* second = tiles().at(1);

    PackActivity* pack = openPacking(first);
    QVERIFY(pack);
    QCOMPARE(pack->parentWidget(), controller);
    if (formInside) {
        auto* form = new StandInForm;
        controller->startActivity(form, true, true);
        form->finish(
            QVariantMap { { QStringLiteral("shipper_id"), 12 }, { QStringLiteral("name"), QStringLiteral("李四") } });
        QTRY_COMPARE(controller->activities().size(), 2);
        QCOMPARE(goods(first), QStringLiteral("张三托运的钢材"));
    }
    if (saved)
        pack->finish(QStringLiteral("李四托运的水泥"));
    else
        QVERIFY(ScreenTestKit::clickButton(pack, QStringLiteral("返回")));
    waitUntilHomeIsTop();
    QCOMPARE(
        goods(first), saved ? QStringLiteral("张三托运的钢材，\n李四托运的水泥") : QStringLiteral("张三托运的钢材"));
    QCOMPARE(goods(second), QString());

    // The next tile's packing reaches that tile alone.
    pack = openPacking(second);
    QVERIFY(pack);
    pack->finish(QStringLiteral("王五托运的木材"));
    waitUntilHomeIsTop();
    QCOMPARE(goods(second), QStringLiteral("王五托运的木材"));
    QVERIFY(!goods(first).contains(QStringLiteral("王五")));
}

QTEST_MAIN(TestTruckBoard)
#include "tst_truckboard.moc"
