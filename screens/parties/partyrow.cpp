#include "screens/parties/partyrow.h"

#include "net/api.h"
#include "screens/lists/pagedlistactivity.h"
#include "screens/parties/partybook.h"
#include "shell/activitycontroller.h"
#include "shell/baseactivity.h"
#include "shell/mainwindow.h"
#include "telephony/telnumberwidget.h"
#include "widgets/guardedmessagebox.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>

PartyItem::PartyItem(const PartyBook& book, const QJsonObject& record, int number, QWidget* host, QWidget* parent)
    : QFrame(parent)
    , book(book)
    , record(record)
    , id(record.value(QLatin1String("id")).toVariant().toInt())
    , number(number)
    , host(host)
{
    setObjectName(book.rowName);
    setFixedHeight(RowHeight);
    PagedListActivity::stripeRow(this, number);

    // The record's texts go into rich text: escaped, so that a name
    // such as "A&B<1>" shows as typed.
    const auto text
        = [&record](const char* key) { return record.value(QLatin1String(key)).toString().toHtmlEscaped(); };
    QString title = QStringLiteral("<b style='font-size:16px;color:#0099CC;'>") + text("name") + QStringLiteral("</b>");
    if (book.titleHasIndustry)
        title += QStringLiteral("    ") + text("industry") + QStringLiteral("行业");
    lines.add(QStringLiteral("titleLabel"), QRect(5, 8, 500, 20), title);
    lines.add(QStringLiteral("addressLabel"), QRect(5, 33, 500, 20),
        QStringLiteral("<font color='#666666'>地址:</font>") + text("address"));
    lines.add(QStringLiteral("contactLabel"), QRect(5, 53, 120, 20),
        QStringLiteral("<font color='#666666'>联系人:</font>") + text("linkman"));

    // The chips paint the contact's name and number; their accessible names
    // carry the numbers for assistive tools. Without a contact name a chip says
    // which of the two numbers it is.
    const QString linkman = record.value(QLatin1String("linkman")).toString().trimmed();
    const auto chip = [this, &linkman](const QString& tel, const QString& fallback, const QString& name, int x) {
        const QString label = linkman.isEmpty() ? fallback : linkman;
        auto* widget = new TelNumberWidget(tel, label, this->host, this);
        widget->setObjectName(name);
        widget->setAccessibleName(tel);
        widget->setGeometry(x, 48, widget->sizeHint().width(), 27);
        return widget;
    };
    const QWidget* phone1
        = chip(record.value(QLatin1String("tel1")).toString(), QStringLiteral("电话1"), QStringLiteral("phone1"), 130);
    const QString tel2 = record.value(QLatin1String("tel2")).toString();
    if (!tel2.isEmpty())
        chip(tel2, QStringLiteral("电话2"), QStringLiteral("phone2"), phone1->x() + phone1->width() + 5);
}

void PartyItem::slot_remove()
{
    // One delete at a time: the answer to it decides.
    if (deleteCall)
        return;
    // The box's event loop may take the row away (a reload from the top);
    // then there is nothing left to delete from here.
    const QString name = record.value(QLatin1String("name")).toString();
    if (GuardedMessageBox::question(this, QStringLiteral("提醒"), book.deleteQuestion.arg(name))
        != GuardedMessageBox::Answer::Yes)
        return;
    deleteCall = (API::instance()->*book.deleteRecord)(id)->then(this, [this](const ApiAnswer& answer) {
        deleteCall.clear();
        takeDeleteAnswer(answer.success, answer.errors);
    });
}

void PartyItem::handleDeleteAnswer(bool success, const QString& errors)
{
    PagedListActivity::takeRowDeleteAnswer(this, success, errors);
}

void PartyItem::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event);
    auto* window = qobject_cast<MainWindow*>(this->window());
    ActivityController* section = window ? window->controllerAt(book.section) : nullptr;
    // Only from the list on top and while nothing slides: a second press, or
    // one on another row while the form slides in, must not stack a second form.
    if (section && ActivityController::acceptsPressFrom(this))
        section->startActivity(book.createForm(&record, section), false, true);
}

void PartyItem::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void PartyItem::enterEvent(QEvent* event)
{
    QFrame::enterEvent(event);
    if (!removeButton) {
        removeButton = PagedListActivity::newRemoveButton(this, removeGeometry());
        connect(removeButton, &QToolButton::clicked, this, &PartyItem::slot_remove);
    }
    removeButton->show();
}

void PartyItem::leaveEvent(QEvent* event)
{
    QFrame::leaveEvent(event);
    if (removeButton)
        removeButton->hide();
}

void PartyItem::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (removeButton)
        removeButton->setGeometry(removeGeometry());
}

void PartyItem::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    style()->drawItemPixmap(&painter, arrowGeometry(), Qt::AlignLeft | Qt::AlignVCenter, PagedListActivity::rowArrow());
    lines.paint(&painter, this, event->rect());
}
