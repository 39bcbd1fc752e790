#include "screens/pagedlistactivity.h"

#include "net/api.h"
#include "widgets/guardedmessagebox.h"

#include <QDebug>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLayoutItem>
#include <QPalette>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

PagedListActivity::PagedListActivity(QWidget* parent)
    : BaseActivity(parent)
    , listScrollArea(new QScrollArea(bodyWidget))
    , listContainer(new QWidget)
    , listLayout(new QVBoxLayout(listContainer))
{
    bodyWidget->setAutoFillBackground(true);
    QPalette palette = bodyWidget->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QColor(255, 255, 255));
    bodyWidget->setPalette(palette);

    listLayout->setSpacing(0);
    listLayout->setContentsMargins(0, 0, 0, 0);

    listContainer->setObjectName(QStringLiteral("ListContainer"));
    listScrollArea->setObjectName(QStringLiteral("ListScrollArea"));
    listScrollArea->setStyleSheet(QStringLiteral("background:transparent;border:none;"));
    listScrollArea->setFrameShape(QFrame::NoFrame);
    listScrollArea->setAlignment(Qt::AlignHCenter);
    listScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listScrollArea->setWidget(listContainer);
    connect(listScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
        &PagedListActivity::slot_scroller_top_bottom_reached);
    bodyLayout->addWidget(listScrollArea);
}

PagedListActivity::~PagedListActivity() = default;

void PagedListActivity::stripeRow(QFrame* row, int number)
{
    const QString name = row->objectName();
    QString style = QStringLiteral("#%1:hover{background:#F8FFF0;}").arg(name);
    if (number % 2 != 0)
        style += QStringLiteral("#%1{border-bottom:1px solid #eeeeee;}").arg(name);
    else
        style += QStringLiteral("#%1{border-bottom:1px solid #eeeeee;background:#F6F6F6;}").arg(name);
    row->setStyleSheet(style);
}

void PagedListActivity::takeRowDeleteAnswer(QFrame* row, int& pending, bool success, const QString& errors)
{
    if (pending == 0 || API::instance()->answeredRequest() != pending)
        return;
    pending = 0;
    if (success)
        row->deleteLater();
    else
        GuardedMessageBox::warning(row, QStringLiteral("抱歉"), QStringLiteral("删除失败！\n") + errors);
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

void PagedListActivity::reload()
{
    clearRows();
    page = 1;
    contentHeight = 0;
    obsolete.unite(outstanding);
    outstanding.clear();
    ask(1);
}

void PagedListActivity::clearRows()
{
    while (QLayoutItem* item = listLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

void PagedListActivity::ask(int pageNumber)
{
    const int request = requestPage(pageNumber);
    if (request != 0)
        outstanding.insert(request);
}

void PagedListActivity::appendPage(const QJsonArray* rows, const char* slotName)
{
    const int answered = API::instance()->answeredRequest();
    outstanding.remove(answered);
    if (obsolete.remove(answered))
        return;

    loaded = true;
    hideLoading();
    qDebug().noquote() << QStringLiteral("**********%1**********").arg(QLatin1String(slotName));

    if (rows && !rows->isEmpty()) {
        hideNoData();
        for (const QJsonValue& element : *rows) {
            ++rowCount;
            QWidget* row = createRow(element.toObject(), rowCount);
            listLayout->addWidget(row);
            contentHeight += row->height();
        }
        listContainer->setFixedSize(width() - 4, contentHeight);
        ++page;
    }
    if (rowCount == 0)
        showNoData();
}

void PagedListActivity::showEvent(QShowEvent* event)
{
    BaseActivity::showEvent(event);
    takeOverAnswers();
    // While this screen was hidden, another one may have taken the shared
    // answers over, and with them the answer to a request still open here:
    // the list would wait under its loading overlay for ever. Ask again; the
    // earlier answer is dropped should it still come here.
    if (!outstanding.isEmpty()) {
        obsolete.unite(outstanding);
        outstanding.clear();
        ask(page);
        return;
    }
    if (!loaded)
        ask(page);
}
