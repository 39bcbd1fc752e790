// List benchmark: the list screens fed page after page, as a clerk scrolling
// to the bottom of a long list sees them, against plain rows.
//
// Each list screen is shown in a window and its pages come through the real
// path: the screen's scroll bar is put at its bottom, the screen asks the API
// for the next page, and a local HTTP server on 127.0.0.1 answers with 20
// records; the API decodes the answer and the screen's fetch slot appends the
// rows. After each page the window is laid out and painted. Per page the
// benchmark takes the GUI thread's processor time (the time the window could
// not answer the user: request, decoding, rows, layout, paint; waiting for
// the server does not count) and the growth of the heap per row. Before the
// first list, a small truck board is shown, as the main window shows one
// after signing in, before a clerk can open any list.
//
// The baseline does the same with plain rows: a QFrame of the screen's row
// height holding as many plain-text labels as the screen's row holds, added
// 20 at a time to a vertical layout in a scroll area, then laid out and
// painted.
//
// The truck board is measured too: 200 trucks in one answer.
//
// Usage: freymo-bench-lists [--pages N]   (offscreen unless QT_QPA_PLATFORM says)
#include "benchclock.h"

#include "net/api.h"
#include "net/basehttp.h"
#include "resources/applicationlook.h"
#include "screens/board/homeactivity.h"
#include "screens/parties/consigneelistactivity.h"
#include "screens/parties/shipperlistactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trucks/trucklistactivity.h"

#include <httplib.h>

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int RowsPerPage = 20;

// The body the local server answers with: set by the GUI thread before it
// asks for a page, read by the server's thread.
class Answer
{
public:
    void set(QByteArray body)
    {
        std::lock_guard<std::mutex> lock(mutex);
        current = std::move(body);
    }
    QByteArray get() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return current;
    }

private:
    mutable std::mutex mutex;
    QByteArray current;
};

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double heapBytes()
{
    return double(mallinfo2().uordblks);
}

// One list screen: how to make it, and a record of its list as the platform
// sends it. Adding a list screen is one line in listScreens() below.
struct ListScreen
{
    const char* name;
    std::function<QWidget*(QWidget* parent)> make;
    std::function<QJsonObject(int id)> record;
    // Lines and pictures a row draws itself, without a label: the plain row
    // shows them as labels.
    int drawnLines;
};

QJsonObject tradeRecord(int id)
{
    return QJsonObject { { QStringLiteral("id"), id }, { QStringLiteral("status"), id % 3 },
        { QStringLiteral("truck_number"), QStringLiteral("粤B%1").arg(10000 + id) },
        { QStringLiteral("shipper_name"), QStringLiteral("华南五金贸易有限公司%1").arg(id) },
        { QStringLiteral("consignee_name"), QStringLiteral("长沙建材城%1号铺").arg(id % 90) },
        { QStringLiteral("goods"), QStringLiteral("钢材") }, { QStringLiteral("weight"), 12.5 },
        { QStringLiteral("value"), 86000 }, { QStringLiteral("is_agency"), id % 2 == 0 },
        { QStringLiteral("payout"), 3200 }, { QStringLiteral("payout_status_text"), QStringLiteral("部分支付") },
        { QStringLiteral("agency_status_text"), QStringLiteral("未付") },
        { QStringLiteral("pay_agency_time"), QStringLiteral("2024-03-02 10:20:00") },
        { QStringLiteral("create_time"), QStringLiteral("2024-03-01 08:00:00") },
        { QStringLiteral("start_time"), QStringLiteral("2024-03-01 18:30:00") },
        { QStringLiteral("complete_time"), QString() } };
}

QJsonObject truckRecord(int id)
{
    const auto text = [](const QString& t) { return QJsonValue(t); };
    return QJsonObject { { QStringLiteral("id"), id },
        { QStringLiteral("number"), text(QStringLiteral("粤B%1").arg(10000 + id)) },
        { QStringLiteral("status"), id % 2 }, { QStringLiteral("tonnage_level"), QString::number(id % 3) },
        { QStringLiteral("tonnage_level_text"), text(QStringLiteral("中卡")) },
        { QStringLiteral("driving_mode_text"), text(QStringLiteral("单桥")) }, { QStringLiteral("tonnage"), 12.5 },
        { QStringLiteral("packingcase_mode_text"), text(QStringLiteral("厢式")) },
        { QStringLiteral("packingcase_width"), 2.4 }, { QStringLiteral("packingcase_length"), 9.6 },
        { QStringLiteral("packingcase_height"), 2.7 }, { QStringLiteral("driver1_name"), text(QStringLiteral("张三")) },
        { QStringLiteral("driver1_mobile"), text(QStringLiteral("13800001234")) },
        { QStringLiteral("driver2_name"), text(QStringLiteral("李四")) },
        { QStringLiteral("driver2_mobile"), text(QStringLiteral("17700005678")) },
        { QStringLiteral("company_name"), text(QStringLiteral("顺达物流")) },
        { QStringLiteral("company_tel"), text(QStringLiteral("02088886666")) },
        { QStringLiteral("loads"),
            QJsonArray { QJsonObject { { QStringLiteral("shipper"), text(QStringLiteral("华南五金")) },
                { QStringLiteral("goods"), text(QStringLiteral("钢材")) } } } } };
}

QJsonObject partyRecord(int id)
{
    return QJsonObject { { QStringLiteral("id"), id },
        { QStringLiteral("name"), QStringLiteral("华南五金贸易有限公司%1").arg(id) },
        { QStringLiteral("industry"), QStringLiteral("五金") },
        { QStringLiteral("address"), QStringLiteral("广州市白云区货运路%1号").arg(id) },
        { QStringLiteral("linkman"), QStringLiteral("王五") },
        { QStringLiteral("tel1"), QStringLiteral("13800001234") },
        { QStringLiteral("tel2"), id % 2 ? QStringLiteral("02088886666") : QString() } };
}

std::vector<ListScreen> listScreens()
{
    return {
        { "trade list", [](QWidget* parent) { return new TradeListActivity(parent); }, &tradeRecord, 6 },
        { "truck list", [](QWidget* parent) { return new TruckListActivity(parent); }, &truckRecord, 7 },
        { "shipper list", [](QWidget* parent) { return new ShipperListActivity(parent); }, &partyRecord, 4 },
        { "consignee list", [](QWidget* parent) { return new ConsigneeListActivity(parent); }, &partyRecord, 4 },
    };
}

struct Page
{
    double cpuMs = 0;
    double wallMs = 0;
};

struct Result
{
    std::vector<Page> pages;
    double heapPerRow = 0;
    int rowsPerPage = 0;
    int labelsPerRow = 0;
    int rowHeight = 0;
};

// Waits for `done`, running the event loop (the answer comes from the server
// thread over a socket). The loop sleeps until an event comes: the overload of
// processEvents() with a time limit never sleeps, so waiting with it would
// spin and count the server's time as the window's. The ticking timer only
// wakes the loop to look at the limit.
bool waitFor(const std::function<bool()>& done)
{
    const long long limit = monotonicNanoseconds() + 10'000'000'000LL;
    QTimer tick;
    tick.start(50);
    while (!done()) {
        if (monotonicNanoseconds() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lays out and paints what is out of date, as the next frame would: the
// layouts, then the updates that showing widgets posts, then the paint. A
// part of a window with nothing new is not painted again.
void layOutAndPaint()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
}

// Shows a window and waits until it can be painted: the platform exposes it
// through the event loop, and a window never exposed paints nothing at all.
bool showExposed(QWidget* window)
{
    window->show();
    return waitFor([window] { return window->windowHandle() && window->windowHandle()->isExposed(); });
}

QWidget* makeWindow()
{
    auto* window = new QWidget;
    window->resize(888, 566);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    return window;
}

Result runScreen(const ListScreen& screen, int pages, Answer& answer)
{
    Result result;
    QWidget* window = makeWindow();
    QWidget* activity = screen.make(window);
    window->layout()->addWidget(activity);
    QWidget* container = activity->findChild<QWidget*>(QStringLiteral("ListContainer"));
    auto* scrollArea = activity->findChild<QScrollArea*>(QStringLiteral("ListScrollArea"));
    if (!container || !scrollArea)
        return result;
    // The container holds the rows and nothing else.
    auto rows = [container] { return container->children().size(); };

    double heapAfterFirst = 0;
    for (int page = 1; page <= pages; ++page) {
        QJsonArray records;
        for (int i = 0; i < RowsPerPage; ++i)
            records.append(screen.record((page - 1) * RowsPerPage + i + 1));
        answer.set(QJsonDocument(QJsonObject { { QStringLiteral("success"), true },
                                     { QStringLiteral("errors"), QString() }, { QStringLiteral("data"), records } })
                       .toJson(QJsonDocument::Compact));

        const int before = rows();
        const double cpu = threadCpuMs();
        const long long wall = monotonicNanoseconds();
        if (page == 1) {
            window->show(); // the first show loads page 1
        } else {
            QScrollBar* bar = scrollArea->verticalScrollBar();
            bar->setValue(bar->maximum()); // the bottom asks for the next page
        }
        if (!waitFor([&] { return rows() >= before + RowsPerPage; })) {
            std::fprintf(stderr, "%s: page %d never came\n", screen.name, page);
            break;
        }
        layOutAndPaint();
        result.pages.push_back({ threadCpuMs() - cpu, double(monotonicNanoseconds() - wall) / 1e6 });
        if (page == 1) {
            heapAfterFirst = heapBytes();
            auto* row = qobject_cast<QWidget*>(container->children().constFirst());
            result.labelsPerRow = row->findChildren<QLabel*>().size() + screen.drawnLines;
            result.rowHeight = row->height();
        }
    }
    if (result.pages.size() > 1)
        result.heapPerRow = (heapBytes() - heapAfterFirst) / double((result.pages.size() - 1) * RowsPerPage);
    result.rowsPerPage = RowsPerPage;
    delete window;
    return result;
}

// Plain rows: the same count of labels and the same height, plain text.
Result runBaseline(int pages, int labelsPerRow, int rowHeight)
{
    Result result;
    QWidget* window = makeWindow();
    auto* scrollArea = new QScrollArea(window);
    scrollArea->setWidgetResizable(false);
    auto* container = new QWidget;
    scrollArea->setWidget(container);
    window->layout()->addWidget(scrollArea);
    showExposed(window);
    layOutAndPaint();

    double heapAfterFirst = 0;
    int height = 0;
    for (int page = 1; page <= pages; ++page) {
        const double cpu = threadCpuMs();
        const long long wall = monotonicNanoseconds();
        const int width = scrollArea->viewport()->width();
        container->setFixedSize(width, height + RowsPerPage * rowHeight);
        // Made in their place, as the lists make theirs: a row stacked by a
        // layout would cost a layout of every row on each page.
        for (int i = 0; i < RowsPerPage; ++i) {
            auto* row = new QFrame(container);
            row->setGeometry(0, height, width, rowHeight);
            for (int l = 0; l < labelsPerRow; ++l) {
                auto* label = new QLabel(QStringLiteral("第%1行 标签%2").arg((page - 1) * RowsPerPage + i).arg(l), row);
                label->setGeometry(100, 5 + 15 * l, 600, 15);
            }
            row->show();
            height += rowHeight;
        }
        scrollArea->verticalScrollBar()->setValue(scrollArea->verticalScrollBar()->maximum());
        layOutAndPaint();
        result.pages.push_back({ threadCpuMs() - cpu, double(monotonicNanoseconds() - wall) / 1e6 });
        if (page == 1)
            heapAfterFirst = heapBytes();
    }
    if (pages > 1)
        result.heapPerRow = (heapBytes() - heapAfterFirst) / double((pages - 1) * RowsPerPage);
    delete window;
    return result;
}

// The board's answer: every truck resting, since the board's first show puts
// the resting ones on it.
QByteArray restingTrucks(int trucks)
{
    QJsonArray records;
    for (int i = 1; i <= trucks; ++i) {
        QJsonObject record = truckRecord(i);
        record.insert(QStringLiteral("status"), 0);
        records.append(record);
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("success"), true }, { QStringLiteral("data"), records } })
        .toJson(QJsonDocument::Compact);
}

// A clerk opens a list from the main window after signing in, when the truck
// board has been shown: a window is up, the board's request has gone through
// the API and its fonts are loaded. Those first costs of the process belong
// to signing in, not to the first page of whichever list runs first here.
bool warmUpAsSignedIn(Answer& answer)
{
    constexpr int trucks = 8;
    answer.set(restingTrucks(trucks));
    QWidget* window = makeWindow();
    window->layout()->addWidget(new HomeActivity(window));
    QWidget* container = window->findChild<QWidget*>(QStringLiteral("boardContainer"));
    window->show();
    const bool shown = container && waitFor([container] { return container->layout()->count() >= trucks; });
    layOutAndPaint();
    delete window;
    return shown;
}

// The truck board: one answer of `trucks` trucks builds every tile, through
// the same path as the lists (the first show asks for the trucks). Against
// the same number of plain widgets, each with a picture, a number and a
// goods label, in a grid of four to a row.
void runBoard(int trucks, Answer& answer)
{
    answer.set(restingTrucks(trucks));

    QWidget* window = makeWindow();
    auto* home = new HomeActivity(window);
    window->layout()->addWidget(home);
    QWidget* container = home->findChild<QWidget*>(QStringLiteral("boardContainer"));
    const double heapBefore = heapBytes();
    double cpu = threadCpuMs();
    window->show();
    if (!container || !waitFor([container, trucks] { return container->layout()->count() >= trucks; })) {
        std::fprintf(stderr, "truck board: the tiles never came\n");
        delete window;
        return;
    }
    layOutAndPaint();
    const double boardMs = threadCpuMs() - cpu;
    const double boardHeap = (heapBytes() - heapBefore) / trucks;
    delete window;

    window = makeWindow();
    auto* scrollArea = new QScrollArea(window);
    auto* grid = new QGridLayout(new QWidget);
    window->layout()->addWidget(scrollArea);
    showExposed(window);
    layOutAndPaint();
    const double plainHeapBefore = heapBytes();
    cpu = threadCpuMs();
    const QPixmap picture(QStringLiteral(":/images/img_truck_sleeping.png"));
    for (int i = 0; i < trucks; ++i) {
        auto* tile = new QWidget;
        auto* column = new QVBoxLayout(tile);
        auto* image = new QLabel;
        image->setPixmap(picture);
        column->addWidget(image);
        column->addWidget(new QLabel(QStringLiteral("粤B%1").arg(10000 + i)));
        column->addWidget(new QLabel(QStringLiteral("华南五金托运的钢材")));
        grid->addWidget(tile, i / 4, i % 4);
    }
    grid->parentWidget()->setFixedSize(633, 160 * ((trucks + 3) / 4));
    scrollArea->setWidget(grid->parentWidget());
    layOutAndPaint();
    const double plainMs = threadCpuMs() - cpu;
    const double plainHeap = (heapBytes() - plainHeapBefore) / trucks;
    delete window;

    std::printf("truck board: %d trucks in one answer; GUI thread time, ms\n", trucks);
    std::printf("  board %.2f, plain tiles %.2f (%.2fx); heap per tile: board %.0f bytes, plain %.0f bytes (%.2fx)\n",
        boardMs, plainMs, boardMs / plainMs, boardHeap, plainHeap, boardHeap / plainHeap);
}

double meanCpu(const std::vector<Page>& pages, size_t from, size_t to)
{
    double sum = 0;
    size_t n = 0;
    for (size_t i = from; i < to && i < pages.size(); ++i, ++n)
        sum += pages[i].cpuMs;
    return n ? sum / double(n) : 0;
}

void report(const char* name, const Result& screen, const Result& baseline)
{
    const size_t n = screen.pages.size();
    if (n < 10 || baseline.pages.size() < n) {
        std::printf("%s: not enough pages measured\n", name);
        return;
    }
    // Page 1, then pages 2 to 10, 11 to 20 and so on.
    std::vector<std::pair<size_t, size_t>> spans { { 0, 1 }, { 1, 10 } };
    for (size_t from = 10; from < n; from += 10)
        spans.emplace_back(from, std::min(n, from + 10));
    std::printf("%s: %zu pages of %d rows (%d labels, %d px each); GUI thread time per page, ms\n", name, n,
        screen.rowsPerPage, screen.labelsPerRow, screen.rowHeight);
    std::printf("  pages ");
    for (const auto& span : spans) {
        const QString label = span.second - span.first == 1
            ? QString::number(span.first + 1)
            : QStringLiteral("%1-%2").arg(span.first + 1).arg(span.second);
        std::printf(" %6s", qPrintable(label));
    }
    std::printf("   worst\n");
    for (const Result* r : { &screen, &baseline }) {
        std::printf("  %-6s", r == &screen ? "screen" : "plain");
        for (const auto& span : spans)
            std::printf(" %6.2f", meanCpu(r->pages, span.first, span.second));
        double rowWorst = 0;
        for (size_t i = 0; i < n; ++i)
            rowWorst = std::max(rowWorst, r->pages[i].cpuMs);
        std::printf("  %6.2f\n", rowWorst);
    }
    const double screenFirst = meanCpu(screen.pages, 1, 10);
    const double screenLast = meanCpu(screen.pages, n - 10, n);
    std::printf("  ratio to plain rows: pages 2-10 %.2fx, last 10 pages %.2fx\n",
        screenFirst / meanCpu(baseline.pages, 1, 10), screenLast / meanCpu(baseline.pages, n - 10, n));
    std::printf("  flatness, last 10 pages / pages 2-10: screen %.2fx, plain %.2fx; one frame is 16 ms\n",
        screenLast / screenFirst, meanCpu(baseline.pages, n - 10, n) / meanCpu(baseline.pages, 1, 10));
    std::printf("  heap per row: screen %.0f bytes, plain %.0f bytes (%.2fx)\n", screen.heapPerRow, baseline.heapPerRow,
        screen.heapPerRow / baseline.heapPerRow);
}

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) { }

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    freymoInitResources();
    applyApplicationLook();
    // The client's debug lines cost their formatting still, not the terminal.
    qInstallMessageHandler(&dropMessages);

    int pages = 50;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--pages") && i + 1 < args.size()) {
            pages = std::max(10, args.at(++i).toInt());
        } else {
            std::fprintf(stderr, "usage: %s [--pages N]\n", argv[0]);
            return 2;
        }
    }

    // The platform: one answer body per page, set before the page is asked for.
    Answer answer;
    httplib::Server server;
    server.Get(".*", [&answer](const httplib::Request&, httplib::Response& response) {
        const QByteArray body = answer.get();
        response.set_content(body.constData(), size_t(body.size()), "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serverThread([&server] { server.listen_after_bind(); });
    BaseHttp::setBaseAddressForTesting(QStringLiteral("http://127.0.0.1:%1/api").arg(port));

    int status = 0;
    if (!warmUpAsSignedIn(answer)) {
        std::fprintf(stderr, "the warm-up board never came\n");
        status = 1;
    }
    for (const ListScreen& screen : listScreens()) {
        const Result measured = runScreen(screen, pages, answer);
        if (measured.pages.empty()) {
            status = 1;
            continue;
        }
        const Result baseline = runBaseline(int(measured.pages.size()), measured.labelsPerRow, measured.rowHeight);
        report(screen.name, measured, baseline);
    }

    runBoard(200, answer);

    server.stop();
    serverThread.join();
    return status;
}
