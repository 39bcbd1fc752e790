// freymo-tour: the screenshot tour of the client.
//
// Starts the platform with its demo stations, signs in as the demo station
// and walks through every screen, writing one PNG per screen, at the window's
// own size, into the folder given as the only argument (docs/screenshots of
// the source tree when none is given).
//
// The pictures are the same on every run: the platform's clock stands still
// at one moment (the demo data is dated from it), the client runs on the
// offscreen platform with the program's own font, the text cursor does not
// blink, every picture waits until no request is in flight and no animation
// runs, and the pointer rests where the tour puts it.
#include "phonepopupparts.h"
#include "support/clientdriver.h"
#include "support/messageboxanswerer.h"
#include "support/platformprocess.h"
#include "support/screentestkit.h"
#include "support/testenvironment.h"

#include "app/logindialog.h"
#include "screens/board/trucktile.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "shell/statusbar.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicesession.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <stdexcept>

namespace {

// The moment the platform's clock shows for the whole tour.
const char* const PinnedTime = "2024-06-07 09:30:00";

// A step of the tour that did not come about.
struct TourFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

void need(bool condition, const char* what)
{
    if (!condition)
        throw TourFailure(what);
}

template <class T> T* child(const QWidget* root, const QString& name)
{
    T* found = root ? root->findChild<T*>(name) : nullptr;
    need(found, qPrintable(QStringLiteral("no widget named ") + name));
    return found;
}

QWidget* withAccessibleName(const QWidget* root, const QString& name)
{
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (widget->accessibleName() == name)
            return widget;
    }
    throw TourFailure(qPrintable(QStringLiteral("no widget called ") + name));
}

class Tour
{
public:
    explicit Tour(const QString& folder)
        : folder(folder)
    {
    }

    void run();

private:
    // Waits until the client is still, rests the pointer on the status bar
    // (where nothing changes under it) unless `keepPointer`, and writes the
    // picture of `widget`.
    void shoot(QWidget* widget, const QString& name, bool keepPointer = false);
    void settle() { need(ClientDriver::settle(), "the client did not settle"); }
    void openSection(int index) { need(client->openSection(index), "a section did not open"); }
    void back(int section);
    // Presses the first row of the list on top of `section` and waits.
    void pressFirstRow(int section, const char* rowClass);
    // Presses `button`, which opens a document's print preview, exports the
    // document through the preview's "导出PDF", and writes the picture of its
    // first page.
    void shootPaper(QAbstractButton* button, const QString& name);

    QString folder;
    std::unique_ptr<PlatformProcess> platform;
    std::unique_ptr<ClientDriver> client;
};

void Tour::shoot(QWidget* widget, const QString& name, bool keepPointer)
{
    if (!keepPointer && client->window())
        ClientDriver::pointAt(client->window()->findChild<StatusBar*>());
    settle();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    need(widget->grab().save(path, "PNG"), qPrintable(QStringLiteral("could not write ") + path));
}

void Tour::shootPaper(QAbstractButton* button, const QString& name)
{
    QTemporaryDir scratch;
    need(scratch.isValid(), "no scratch folder");
    const QString pdf = scratch.filePath(name + QStringLiteral(".pdf"));
    MessageBoxAnswerer answers;
    answers.expectDialog([](QWidget* modal) {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(modal);
        need(preview && preview->windowTitle() == QStringLiteral("打印预览"), "no print preview");
        child<QAction>(preview, QStringLiteral("exportPdfAction"))->trigger();
        preview->reject();
    });
    answers.expectDialog([pdf](QWidget* modal) {
        child<QLineEdit>(modal, QStringLiteral("fileNameEdit"))->setText(pdf);
        QMetaObject::invokeMethod(modal, "accept");
    });
    QTest::mouseClick(button, Qt::LeftButton);
    need(answers.waitForAll(15000) && answers.unexpected().isEmpty(), "the document was not exported");
    settle();

    // One page as a viewer shows it, at 110 dots an inch.
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QStringLiteral("110"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
            QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf,
            QDir(folder).filePath(name) });
    need(render.waitForFinished(30000) && render.exitCode() == 0, "pdftoppm failed");
}

void Tour::back(int section)
{
    need(ScreenTestKit::clickButton(client->top(section), QStringLiteral("返回")), "no back button");
    settle();
}

void Tour::pressFirstRow(int section, const char* rowClass)
{
    QWidget* list = client->top(section);
    QWidget* container = child<QWidget>(list, QStringLiteral("ListContainer"));
    QWidget* row = container->findChild<QWidget*>(QLatin1String(rowClass), Qt::FindDirectChildrenOnly);
    need(row, rowClass);
    // Right of the phone chips, where a press reaches the row itself.
    QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, QPoint(row->width() - 120, 15));
    settle();
    need(client->top(section) != list, "the row opened nothing");
}

void Tour::run()
{
    need(QDir().mkpath(folder), "the picture folder cannot be made");

    platform = std::make_unique<PlatformProcess>();
    platform->setEnvironmentValue(QStringLiteral("LD_PRELOAD"), QStringLiteral(FREYMO_FAKETIME_LIBRARY));
    platform->setEnvironmentValue(QStringLiteral("FAKETIME"), QString::fromLatin1(PinnedTime));
    // Timers and time-outs keep running; only the calendar stands still.
    platform->setEnvironmentValue(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    platform->setEnvironmentValue(QStringLiteral("TZ"), QStringLiteral("UTC"));
    // A sanitized build of the platform accepts the preloaded library.
    platform->setEnvironmentValue(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    need(platform->start(), qPrintable(platform->errorString()));
    client = std::make_unique<ClientDriver>(*platform);

    // The login dialog, filled in.
    LoginDialog* login = client->showLogin();
    need(login, "the login dialog did not show");
    ScreenTestKit::typeText(child<QLineEdit>(login, QStringLiteral("usernameEdit")), LoginDialog::demoUserName());
    ScreenTestKit::typeText(child<QLineEdit>(login, QStringLiteral("passwordEdit")), LoginDialog::demoPassword());
    shoot(login, QStringLiteral("login"));

    need(client->signIn(LoginDialog::demoUserName(), LoginDialog::demoPassword()), "the demo station did not sign in");
    MainWindow* window = client->window();
    shoot(window, QStringLiteral("board"));

    // A resting truck with a load, pointed at: its buttons show.
    TruckItem* loaded = nullptr;
    for (TruckItem* tile : window->findChildren<TruckItem*>()) {
        const QJsonObject truck = tile->record();
        if (!loaded && truck.value(QLatin1String("status")).toInt() == 0
            && !truck.value(QLatin1String("loads")).toArray().isEmpty())
            loaded = tile;
    }
    need(loaded, "no resting truck with a load");
    child<QScrollArea>(window, QStringLiteral("boardScrollArea"))->ensureWidgetVisible(loaded);
    ClientDriver::pointAt(loaded);
    shoot(window, QStringLiteral("board-hover"), true);
    // Its loading list, as printed.
    shootPaper(child<QPushButton>(loaded, QStringLiteral("loadingListButton")), QStringLiteral("loading-list"));
    ClientDriver::pointAt(loaded);

    // Packing on it, the shipper's suggestions open.
    QTest::mouseClick(child<QPushButton>(loaded, QStringLiteral("packButton")), Qt::LeftButton);
    settle();
    QWidget* pack = client->top(0);
    need(pack->objectName() == QStringLiteral("PackActivity"), "the packing screen did not open");
    const auto type = [pack](const char* name, const QString& text) {
        ScreenTestKit::typeText(child<QLineEdit>(pack, QLatin1String(name)), text);
    };
    type("lineEdit", QStringLiteral("临沂—上海"));
    type("goodsEdit", QStringLiteral("瓷砖"));
    type("weightEdit", QStringLiteral("18"));
    type("valueEdit", QStringLiteral("52000"));
    auto* agency = child<QComboBox>(pack, QStringLiteral("isAgencyCombo"));
    agency->setCurrentIndex(agency->findText(QStringLiteral("是")));
    type("revenueEdit", QStringLiteral("4300"));
    type("payoutEdit", QStringLiteral("3000"));
    type("shipperEdit", QStringLiteral("兰山"));
    settle();
    need(withAccessibleName(pack, QStringLiteral("shipperSuggestions"))->isVisible(), "no suggestions");
    shoot(window, QStringLiteral("packing"));
    {
        // Left unsaved, the packing asks first.
        MessageBoxAnswerer answers;
        answers.expect(QMessageBox::Yes);
        back(0);
        need(answers.waitForAll(15000) && answers.unexpected().isEmpty(), "the packing was not left");
        settle();
    }

    // The feedback dialog of the side bar.
    QTest::mouseClick(child<QToolButton>(window, QStringLiteral("FeedbackButton")), Qt::LeftButton);
    QWidget* feedback = withAccessibleName(client->top(0), QStringLiteral("意见反馈"));
    shoot(window, QStringLiteral("feedback"));
    need(ScreenTestKit::clickButton(feedback, QStringLiteral("取消")), "no cancel button");

    // The trades, and the settlement of the newest.
    openSection(1);
    shoot(window, QStringLiteral("trades"));
    QWidget* trades = child<QWidget>(client->top(1), QStringLiteral("ListContainer"));
    QTest::mouseClick(child<QWidget>(trades, QStringLiteral("TradeItem")), Qt::LeftButton);
    QWidget* dashboard = withAccessibleName(client->top(1), QStringLiteral("dashboardDialog"));
    need(dashboard->isVisible(), "the settlement dialog did not open");
    for (const auto& [name, text] :
        { std::make_pair("payoutChoice", "部分支付"), std::make_pair("collectionChoice", "未付") }) {
        auto* choice = child<QComboBox>(dashboard, QLatin1String(name));
        choice->setCurrentIndex(choice->findText(QString::fromUtf8(text)));
    }
    shoot(window, QStringLiteral("settlement"));
    // The trade's waybill, as printed.
    shootPaper(child<QPushButton>(dashboard, QStringLiteral("printWaybillButton")), QStringLiteral("waybill"));
    need(ScreenTestKit::clickButton(dashboard, QStringLiteral("取消")), "no cancel button");

    // The money the station holds for others, and its figures, from the •••
    // menu: each opens on the home section.
    const struct
    {
        const char* action;
        QString picture;
    } ledgers[] = {
        { "agencyLedgerAction", QStringLiteral("agency-ledger") },
        { "payoutLedgerAction", QStringLiteral("payout-ledger") },
        { "statisticsAction", QStringLiteral("statistics") },
    };
    for (const auto& ledger : ledgers) {
        child<QAction>(window->moreMenu(), QLatin1String(ledger.action))->trigger();
        settle();
        shoot(window, ledger.picture);
        back(0);
    }

    // Each book and its form, open on its first record.
    const struct
    {
        int section;
        const char* rowClass;
        QString list;
        QString form;
    } books[] = {
        { 2, "ShipperItem", QStringLiteral("shippers"), QStringLiteral("shipper-form") },
        { 3, "MyTruckItem", QStringLiteral("trucks"), QStringLiteral("truck-form") },
        { 4, "ConsigneeItem", QStringLiteral("consignees"), QStringLiteral("consignee-form") },
    };
    for (const auto& book : books) {
        openSection(book.section);
        shoot(window, book.list);
        pressFirstRow(book.section, book.rowClass);
        shoot(window, book.form);
        back(book.section);
    }

    // A call to the first truck's driver, answered.
    openSection(3);
    need(QTest::qWaitFor([] { return VoiceSession::isOnline(); }, 10000), "the voice session is offline");
    QWidget* firstTruck = child<QWidget>(client->top(3), QStringLiteral("MyTruckItem"));
    auto* chip = child<TelNumberWidget>(firstTruck, QStringLiteral("driver1Chip"));
    const QString driver = chip->accessibleName().section(QLatin1Char(' '), 0, 0);
    ClientDriver::pointAt(chip, QPoint(12, 12));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QWidget* host = client->section(3);
    need(QTest::qWaitFor(
             [host, &driver] {
                 QLabel* status = PhonePopupParts::statusLabelOf(host);
                 return status && status->text() == QStringLiteral("正在同 %1 通话中...").arg(driver);
             },
             10000),
        "the call was not answered");
    shoot(window, QStringLiteral("call"));
    QTest::mouseClick(PhonePopupParts::buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
    settle();

    client.reset();
    need(platform->stop(), "the platform did not stop cleanly");
}

// The client's debug lines are for developers; the tour reports its own way.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[])
{
    // Headless whatever the desktop: the pictures must not depend on it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    QApplication::setCursorFlashTime(0);
    initClientTestEnvironment();

    const QStringList arguments = QCoreApplication::arguments();
    const QString folder = QDir(arguments.value(1, QStringLiteral(FREYMO_SCREENSHOT_DIR))).absolutePath();
    Tour tour(folder);
    try {
        tour.run();
    } catch (const TourFailure& failure) {
        std::fprintf(stderr, "freymo-tour: %s\n", failure.what());
        return 1;
    }
    std::printf("freymo-tour: pictures written to %s\n", qPrintable(folder));
    return 0;
}
