#include "telephony/telnumberwidget.h"

#include "net/api.h"
#include "telephony/voicesession.h"

#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QToolButton>

namespace {

const int ChipWidth = 137;
const int ChipHeight = 25;

QString chipStyleSheet()
{
    return QStringLiteral("QFrame{color:white;border-radius:12px; border:1px solid #94A68C; background-color:#E9FADE;} "
                          "                  QFrame:hover{background-color:#CCCC00;border:1px solid #006600;}");
}

QString blueButtonStyleSheet()
{
    return QStringLiteral("QToolButton{border:0px; background:url(:/images/btn_blue_normal.png);}                      "
                          "        QToolButton:hover{background:url(:/images/btn_blue_hover.png)}                      "
                          "        QToolButton:pressed{background:url(:/images/btn_blue_pressed.png)}");
}

QString greenButtonStyleSheet()
{
    return QStringLiteral("QToolButton{border:0px; background:url(:/images/btn_green_normal.png);}                     "
                          "         QToolButton:hover{background:url(:/images/btn_green_hover.png)}                    "
                          "          QToolButton:pressed{background:url(:/images/btn_green_pressed.png)}");
}

QToolButton* makeButton(QWidget* parent, const QString& text, const QRect& geometry, const QString& styleSheet)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("Button"));
    button->setText(text);
    button->setGeometry(geometry);
    button->setStyleSheet(styleSheet);
    return button;
}

} // namespace

TelNumberWidget::TelNumberWidget(const QString& number, const QString& label, QWidget* host, QWidget* parent)
    : QFrame(parent)
    , number(number)
    , label(label)
    , host(host)
{
    // Created here, on the GUI thread, before any call can report to it.
    CallStatusForwarder::instance();

    setStyleSheet(chipStyleSheet());
    setMaximumSize(ChipWidth, ChipHeight);
    resize(ChipWidth, ChipHeight);
    callZone = QRect(QPoint(-1, 0), QPoint(25, 24));
    smsZone = QRect(QPoint(width() - 29, 0), QPoint(width() - 3, 24));

    // The overlay covers the host, so it follows the host's size.
    if (host)
        host->installEventFilter(this);
}

TelNumberWidget::~TelNumberWidget()
{
    // A call placed from here would otherwise go on with no way to end it.
    // Only ours: another chip may have placed a call since ours ended.
    if (statusLabel && CallStatusForwarder::instance()->callingWidget() == this)
        VoiceSession::releaseCall();
    closePopup();
}

void TelNumberWidget::onCallProceeding(const char* callId)
{
    qDebug() << "************************" << callId;
    CallStatusForwarder::post(CallStatusForwarder::CallEvent::Proceeding, QByteArray(callId));
}

void TelNumberWidget::onCallAnswered(const char* callId)
{
    CallStatusForwarder::post(CallStatusForwarder::CallEvent::Answered, QByteArray(callId));
}

void TelNumberWidget::onMakeCallFailed(const char* callId, int /*reason*/)
{
    CallStatusForwarder::post(CallStatusForwarder::CallEvent::Failed, QByteArray(callId));
}

void TelNumberWidget::onCallReleased(const char* callId)
{
    CallStatusForwarder::post(CallStatusForwarder::CallEvent::Released, QByteArray(callId));
}

void TelNumberWidget::reportCallEvent(CallStatusForwarder::CallEvent event)
{
    QString text;
    switch (event) {
    case CallStatusForwarder::CallEvent::Proceeding:
        text = QStringLiteral("正在呼叫 %1 ...");
        break;
    case CallStatusForwarder::CallEvent::Answered:
        text = QStringLiteral("正在同 %1 通话中...");
        break;
    case CallStatusForwarder::CallEvent::Failed:
        text = QStringLiteral("呼叫 %1 失败.");
        break;
    case CallStatusForwarder::CallEvent::Released:
        text = QStringLiteral("同 %1 通话结束.");
        break;
    }
    emit signal_calling_status(text.arg(label));
}

void TelNumberWidget::closePopup()
{
    smsEdit = nullptr;
    statusLabel = nullptr;
    panel = nullptr;
    if (overlay) {
        // Later, not now: this may run inside a click of a button on the panel.
        overlay->hide();
        overlay->deleteLater();
    }
    overlay = nullptr;
}

void TelNumberWidget::slot_hangup_clicked()
{
    VoiceSession::releaseCall();
    closePopup();
}

void TelNumberWidget::slot_send_clicked()
{
    if (!smsEdit || !VoiceSession::isOnline())
        return;
    const QString text = smsEdit->toPlainText().trimmed();
    smsCall = API::instance()->submitSms(number, text)->then(this, [this](const ApiAnswer& answer) {
        smsCall.clear();
        slot_submit_sms_finished(answer.success, answer.errors);
    });
}

void TelNumberWidget::slot_close_clicked()
{
    closePopup();
}

void TelNumberWidget::slot_submit_sms_finished(bool success, QString errors)
{
    QPointer<TelNumberWidget> self(this);
    if (success) {
        QMessageBox::information(nullptr, QStringLiteral("恭喜"), QStringLiteral("短信发送成功！"));
        if (!self)
            return;
        closePopup();
    } else {
        QMessageBox::warning(nullptr, QStringLiteral("抱歉"), QStringLiteral("发送失败！\n") + errors);
    }
}

void TelNumberWidget::slot_calling_status(QString msg)
{
    // Null after closePopup(): a late text has nowhere to go.
    if (statusLabel)
        statusLabel->setText(msg);
}

void TelNumberWidget::mousePressEvent(QMouseEvent* event)
{
    // Keeps the press from the row behind the chip.
    event->accept();
}

void TelNumberWidget::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    // Without its host a panel would open as a window of its own, and a call
    // would have no panel to hang up from.
    if (!host)
        return;
    const QPoint at = event->localPos().toPoint();
    if (callZone.contains(at)) {
        if (!VoiceSession::isOnline()) {
            QMessageBox::warning(
                nullptr, QStringLiteral("抱歉"), QStringLiteral("连接通讯服务器失败，不能拨打电话，请同客服联系。"));
            return;
        }
        openPopup();
        buildCallPanel();
        CallStatusForwarder::instance()->startCall(this);
        VoiceSession::makeCall(QStringLiteral("0086%1").arg(number).toLatin1());
    } else if (smsZone.contains(at)) {
        openPopup();
        buildSmsPanel();
    } else {
        return;
    }
    coverHost();
    if (overlay)
        overlay->show();
}

void TelNumberWidget::openPopup()
{
    // Only one panel at a time.
    closePopup();
    overlay = new QFrame(host);
    overlay->setObjectName(QStringLiteral("Main"));
    overlay->setStyleSheet(QStringLiteral("#Main{background-color:rgba(100,100,100,70);}"));
    panel = new QFrame(overlay);
    panel->setObjectName(QStringLiteral("Body"));
    panel->setStyleSheet(QStringLiteral("QFrame#Body{background-color:#ffffff;border-radius:5px;}"));
    coverHost();
}

void TelNumberWidget::buildCallPanel()
{
    panel->resize(250, 250);
    auto* picture = new QLabel(panel);
    picture->setPixmap(QPixmap(QStringLiteral(":/images/img_calling.png")));
    picture->setGeometry(61, 20, 128, 128);

    statusLabel = new QLabel(panel);
    statusLabel->setText(QStringLiteral("拨打 [") + label + QStringLiteral("] 电话"));
    statusLabel->setAlignment(Qt::AlignCenter);
    statusLabel->setGeometry(0, 150, panel->width(), 30);

    QToolButton* hangUp
        = makeButton(panel, QStringLiteral("结束通话"), QRect(60, 210, 135, 30), blueButtonStyleSheet());
    connect(hangUp, &QToolButton::clicked, this, &TelNumberWidget::slot_hangup_clicked);

    // Reopening the panel must not deliver every text twice.
    connect(this, &TelNumberWidget::signal_calling_status, this, &TelNumberWidget::slot_calling_status,
        Qt::UniqueConnection);
}

void TelNumberWidget::buildSmsPanel()
{
    panel->resize(400, 200);
    auto* prompt = new QLabel(QStringLiteral("请输入短信内容："), panel);
    prompt->setGeometry(5, 5, 400, 25);

    smsEdit = new QPlainTextEdit(panel);
    smsEdit->setGeometry(5, 30, 390, 130);

    QToolButton* send = makeButton(panel, QStringLiteral("发送"), QRect(5, 165, 135, 30), greenButtonStyleSheet());
    connect(send, &QToolButton::clicked, this, &TelNumberWidget::slot_send_clicked);
    QToolButton* close = makeButton(panel, QStringLiteral("关闭"), QRect(150, 165, 135, 30), blueButtonStyleSheet());
    connect(close, &QToolButton::clicked, this, &TelNumberWidget::slot_close_clicked);
}

void TelNumberWidget::coverHost()
{
    if (!overlay || !host)
        return;
    overlay->setGeometry(0, 0, host->width(), host->height());
    if (panel)
        panel->move((overlay->width() - panel->width()) / 2, (overlay->height() - panel->height()) / 2);
}

void TelNumberWidget::enterEvent(QEvent* event)
{
    hovered = true;
    update();
    QFrame::enterEvent(event);
}

void TelNumberWidget::leaveEvent(QEvent* event)
{
    hovered = false;
    update();
    QFrame::leaveEvent(event);
}

void TelNumberWidget::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    QFont font(QStringLiteral("宋体"));
    if (!hovered) {
        font.setPixelSize(12);
        painter.setFont(font);
        painter.setPen(QColor(QStringLiteral("#666666")));
        painter.drawText(QRect(7, 7, 80, 14), Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    font.setFamily(QStringLiteral("Arial"));
    font.setPixelSize(hovered ? 13 : 14);
    painter.setFont(font);
    painter.setPen(QColor(QStringLiteral("#996600")));
    const int x = hovered ? 28 : 47;
    painter.drawText(QRect(x, 5, 127 - x, 14), Qt::AlignLeft | Qt::AlignVCenter, number);
    if (hovered) {
        painter.drawPixmap(callZone, QPixmap(QStringLiteral(":/images/ico_call.png")));
        painter.drawPixmap(smsZone, QPixmap(QStringLiteral(":/images/ico_sms.png")));
    }
}

void TelNumberWidget::resizeEvent(QResizeEvent* event)
{
    coverHost();
    event->accept();
}

bool TelNumberWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == host && event->type() == QEvent::Resize)
        coverHost();
    return QFrame::eventFilter(watched, event);
}
