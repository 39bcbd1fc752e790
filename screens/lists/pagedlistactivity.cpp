#include "screens/lists/pagedlistactivity.h"

#include "net/api.h"
#include "screens/lists/tableexport.h"
#include "shell/activitycontroller.h"
#include "widgets/guardedmessagebox.h"

#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QJsonArray>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace {

// Esc in the search box empties it. The box claims the key first, so that no
// shortcut of the window takes it while the box has the focus.
class EscapeClears : public QObject
{
public:
    explicit EscapeClears(QLineEdit* box)
        : QObject(box)
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return false;
        }
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            box->clear();
        return true;
    }
};

} // namespace

PagedListActivity::PagedListActivity(QWidget* parent)
    : BaseActivity(parent)
    , listScrollArea(new QScrollArea(bodyWidget))
    , listContainer(new QWidget)
    , failurePanel(new QFrame(this))
    , failureLabel(new QLabel(failurePanel))
    , retryButton(new QPushButton(QStringLiteral("重新加载"), failurePanel))
    , searchTimer(new QTimer(this))
{
    bodyWidget->setAutoFillBackground(true);
    QPalette palette = bodyWidget->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QColor(255, 255, 255));
    bodyWidget->setPalette(palette);

    listContainer->setObjectName(QStringLiteral("ListContainer"));
    listScrollArea->setObjectName(QStringLiteral("ListScrollArea"));
    // One sheet for the list and all its rows: nothing in the list draws a
    // background or a border but what the rows' rules say.
    listScrollArea->setStyleSheet(QStringLiteral("*{background:transparent;border:none;}") + rowStyleRules());
    listScrollArea->setFrameShape(QFrame::NoFrame);
    listScrollArea->setAlignment(Qt::AlignHCenter);
    listScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listScrollArea->setWidget(listContainer);
    connect(listScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
        &PagedListActivity::slot_scroller_top_bottom_reached);
    bodyLayout->addWidget(listScrollArea);

    // What a failed request leaves in the list's place: the reason and a way
    // to ask again.
    failurePanel->setObjectName(QStringLiteral("LoadFailure"));
    failurePanel->setStyleSheet(QStringLiteral("#LoadFailure{background:#FFFFFF;}"));
    failureLabel->setObjectName(QStringLiteral("loadFailureText"));
    failureLabel->setAlignment(Qt::AlignCenter);
    failureLabel->setStyleSheet(QStringLiteral("color:#666666;"));
    retryButton->setObjectName(QStringLiteral("retryButton"));
    auto* failureLayout = new QHBoxLayout(failurePanel);
    failureLayout->addWidget(failureLabel);
    failureLayout->addWidget(retryButton);
    failurePanel->hide();
    connect(retryButton, &QPushButton::clicked, this, &PagedListActivity::slot_retry);

    connect(API::instance(), &API::signal_records_changed, this, &PagedListActivity::slot_records_changed);
    buildSearch();
    // "导出" right of the search box, in the action button's look; shown
    // once the screen names its columns.
    exportButton = addHeaderButton(QStringLiteral("导出"), QStringLiteral("ExportButton"));
    exportButton->hide();
    connect(exportButton, &QToolButton::clicked, this, &PagedListActivity::slot_export);
}

void PagedListActivity::buildSearch()
{
    searchBox = new QLineEdit;
    searchBox->setObjectName(QStringLiteral("SearchBox"));
    searchBox->setFixedSize(180, 24);
    searchBox->setMaxLength(100);
    searchBox->setClearButtonEnabled(true);
    // The header's own rule (a green background, a bottom border) would
    // reach the box too.
    searchBox->setStyleSheet(
        QStringLiteral("QLineEdit{background:white;border:1px solid #42A85B;border-radius:4px;padding:0px 4px;"
                       "font-size:12px;margin-right:6px;}"));
    addHeaderWidget(searchBox);

    searchTimer->setObjectName(QStringLiteral("SearchTimer"));
    searchTimer->setSingleShot(true);
    searchTimer->setInterval(SearchPauseMs);
    connect(searchTimer, &QTimer::timeout, this, &PagedListActivity::applySearch);
    connect(searchBox, &QLineEdit::textChanged, this, &PagedListActivity::searchEdited);
    new EscapeClears(searchBox);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &PagedListActivity::focusSearch);
}

void PagedListActivity::setSearchHint(const QString& hint)
{
    searchBox->setPlaceholderText(hint);
}

void PagedListActivity::hideSearch()
{
    searchBox->hide();
}

void PagedListActivity::searchEdited(const QString& text)
{
    if (text.trimmed() == appliedSearch)
        return;
    // An emptied box shows the whole list again without waiting.
    if (text.trimmed().isEmpty()) {
        searchTimer->stop();
        applySearch();
        return;
    }
    scheduleSearch();
}

void PagedListActivity::scheduleSearch()
{
    searchTimer->start();
}

void PagedListActivity::applySearch()
{
    searchTimer->stop();
    appliedSearch = searchBox->text().trimmed();
    applySearchFilters();
    showLoading(QString());
    reload();
}

void PagedListActivity::focusSearch()
{
    // The lists below a form stay visible under it: only the top one answers.
    const ActivityController* own = ActivityController::containing(this);
    if ((own && own->topActivity() != this) || searchBox->isHidden())
        return;
    searchBox->setFocus(Qt::ShortcutFocusReason);
    searchBox->selectAll();
}

PagedListActivity::~PagedListActivity()
{
    // Left to the container, the rows would die after this object's own part
    // is gone, and their goodbyes would reach it.
    clearRows();
}

void PagedListActivity::stripeRow(QFrame* row, int number)
{
    const QLatin1String stripe(number % 2 != 0 ? "odd" : "even");
    if (row->property("stripe").toString() == stripe)
        return;
    row->setProperty("stripe", stripe);
    // Style rules are matched at polish: a row polished already (one that
    // is reused) must be matched again.
    if (row->testAttribute(Qt::WA_WState_Polished)) {
        row->style()->unpolish(row);
        row->style()->polish(row);
        row->update();
    }
}

QString PagedListActivity::rowStyleRules()
{
    // The pointer's rule is the more specific: it wins over the stripe.
    return QStringLiteral("QFrame[stripe=\"odd\"]{border-bottom:1px solid #eeeeee;}"
                          "QFrame[stripe=\"even\"]{border-bottom:1px solid #eeeeee;background:#F6F6F6;}"
                          "QFrame[stripe=\"odd\"]:hover,QFrame[stripe=\"even\"]:hover{background:#F8FFF0;}");
}

void PagedListActivity::addRowStyleRules(const QString& rules)
{
    listScrollArea->setStyleSheet(listScrollArea->styleSheet() + rules);
}

void PagedListActivity::takeRowDeleteAnswer(QFrame* row, bool success, const QString& errors)
{
    if (success)
        row->deleteLater();
    else
        GuardedMessageBox::warning(row, QStringLiteral("抱歉"), QStringLiteral("删除失败！\n") + errors);
}

QPixmap PagedListActivity::rowArrow()
{
    const QString key = QStringLiteral("freymo/list_arrow");
    QPixmap arrow;
    if (!QPixmapCache::find(key, &arrow)) {
        arrow = QPixmap(QStringLiteral(":/images/list_arrow.png"));
        QPixmapCache::insert(key, arrow);
    }
    return arrow;
}

QToolButton* PagedListActivity::newRemoveButton(QFrame* row, const QRect& geometry)
{
    auto* button = new QToolButton(row);
    button->setObjectName(QStringLiteral("removeButton"));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(QIcon(QStringLiteral(":/images/ico_remove.png")));
    button->setGeometry(geometry);
    return button;
}

ExportTable PagedListActivity::exportTable()
{
    ExportTable table;
    table.name = titleLabel->text();
    table.columns = exportColumns();
    // The pages come through the list's own request, with whatever filter
    // the list applies to its rows.
    const QPointer<PagedListActivity> self(this);
    table.fetch = [self](int pageNumber) { return self ? self->requestPage(pageNumber) : nullptr; };
    table.idKey = QStringLiteral("id");
    return table;
}

void PagedListActivity::exportTo(const QString& path)
{
    if (running || path.isEmpty())
        return;
    running = new TableExport(exportTable(), path, this);
    running->start();
}

void PagedListActivity::slot_export()
{
    if (running)
        return;
    // The save dialog's event loop may take the list with it.
    const QPointer<PagedListActivity> self(this);
    TableExport* started = TableExport::chooseAndStart(this, exportTable());
    if (self)
        running = started;
}

void PagedListActivity::showsRecords(const QList<RecordKind>& shown)
{
    kinds = shown;
}

void PagedListActivity::slot_scroller_top_bottom_reached(int pos)
{
    const QScrollBar* bar = listScrollArea->verticalScrollBar();
    if (pos == bar->minimum()) {
        showLoading(QString());
        reload();
    } else if (pos == bar->maximum()) {
        showLoading(QString());
        ask(page);
    }
}

void PagedListActivity::slot_records_changed(RecordKind kind)
{
    if (!kinds.contains(kind))
        return;
    const bool wasStale = stale;
    stale = true;
    if (wasStale || !isVisible())
        return;
    // Once for the several kinds that one change announces.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!stale || !isVisible())
                return;
            showLoading(QString());
            reload();
        },
        Qt::QueuedConnection);
}

void PagedListActivity::slot_retry()
{
    hideFailure();
    showLoading(QString());
    if (listRows.isEmpty())
        reload();
    else
        ask(page);
}

void PagedListActivity::reload()
{
    stale = false;
    // The answer to an earlier request would belong to the list cleared here.
    if (pageCall)
        pageCall->abandon();
    pageCall.clear();
    clearRows();
    page = 1;
    contentHeight = 0;
    ask(1);
}

void PagedListActivity::clearRows()
{
    // Taken out of the list first, the rows find nothing to close up as they go.
    qDeleteAll(std::exchange(listRows, {}));
}

void PagedListActivity::closeUp(QObject* row, int height)
{
    // The row is half destroyed: only its address is compared.
    const int index = listRows.indexOf(static_cast<QWidget*>(row));
    if (index < 0)
        return;
    listRows.removeAt(index);
    int y = index > 0 ? listRows.at(index - 1)->geometry().bottom() + 1 : 0;
    for (int i = index; i < listRows.size(); ++i) {
        QWidget* below = listRows.at(i);
        below->move(0, y);
        y += below->height();
    }
    contentHeight -= height;
    fitContainer();
}

void PagedListActivity::ask(int pageNumber)
{
    // The open request will answer: asking twice would add its page twice.
    if (pageCall && pageCall->isPending())
        return;
    pageCall = requestPage(pageNumber);
    if (!pageCall)
        return;
    pageCall->then(this, [this](const ApiAnswer& answer) {
        pageCall.clear();
        pageErrors = answer.errors;
        QJsonArray rows = answer.data.toArray();
        takePage(answer.success ? &rows : nullptr, answer.errors);
    });
}

void PagedListActivity::appendPage(const QJsonArray* rows, const char* slotName)
{
    hideLoading();
    qDebug().noquote() << QStringLiteral("**********%1**********").arg(QLatin1String(slotName));
    if (!rows) {
        showFailure(pageErrors);
        return;
    }
    loaded = true;
    hideFailure();

    if (!rows->isEmpty()) {
        hideNoData();
        const int width = rowWidth();
        for (const QJsonValue& element : *rows) {
            ++rowCount;
            QWidget* row = createRow(element.toObject(), rowCount);
            listRows.append(row);
            const int height = row->height();
            row->setGeometry(0, contentHeight, width, height);
            row->show();
            contentHeight += height;
            // A deleted row leaves no gap: the rows below close up.
            connect(row, &QObject::destroyed, this, [this, height](QObject* gone) { closeUp(gone, height); });
        }
        fitContainer();
        markShownWidgetsDirty();
        ++page;
    }
    if (listRows.isEmpty())
        showNoData();
}

int PagedListActivity::rowWidth() const
{
    return qMax(0, width() - 4);
}

void PagedListActivity::fitContainer()
{
    const int width = rowWidth();
    if (width != listContainer->width()) {
        for (QWidget* row : qAsConst(listRows))
            row->resize(width, row->height());
    }
    listContainer->setFixedSize(width, qMax(0, contentHeight));
}

void PagedListActivity::showFailure(const QString& errors)
{
    failed = true;
    failureLabel->setText(
        QStringLiteral("读取数据失败！") + (errors.isEmpty() ? QString() : QStringLiteral("\n") + errors));
    placeFailure();
    failurePanel->show();
    failurePanel->raise();
}

void PagedListActivity::hideFailure()
{
    failed = false;
    failurePanel->hide();
}

void PagedListActivity::placeFailure()
{
    failurePanel->adjustSize();
    const QRect body = bodyWidget->geometry();
    const QSize size = failurePanel->sizeHint();
    // In the middle of an empty list; under the rows already shown otherwise.
    const int y
        = listRows.isEmpty() ? body.top() + (body.height() - size.height()) / 2 : body.bottom() - size.height() - 10;
    failurePanel->setGeometry(body.left() + (body.width() - size.width()) / 2, y, size.width(), size.height());
}

void PagedListActivity::showEvent(QShowEvent* event)
{
    BaseActivity::showEvent(event);
    exportButton->setVisible(!exportColumns().isEmpty());
    if (stale) {
        showLoading(QString());
        reload();
    } else if (!loaded || failed) {
        hideFailure();
        ask(page);
    }
}

void PagedListActivity::resizeEvent(QResizeEvent* event)
{
    BaseActivity::resizeEvent(event);
    // The rows follow the list's width, whatever it was when they came.
    if (!listRows.isEmpty())
        fitContainer();
    if (failurePanel->isVisible())
        placeFailure();
}

void PagedListActivity::reloadFromStart()
{
    showLoading(QString());
    reload();
}

void PagedListActivity::scrollToStart()
{
    QScrollBar* bar = listScrollArea->verticalScrollBar();
    // Already at the top the bar does not move: the key reloads all the same.
    if (bar->value() == bar->minimum())
        reloadFromStart();
    else
        bar->setValue(bar->minimum());
}

void PagedListActivity::scrollToEnd()
{
    QScrollBar* bar = listScrollArea->verticalScrollBar();
    if (bar->maximum() > bar->minimum())
        bar->setValue(bar->maximum());
}
