#include "telephony/telnumberwidget.h"

#include "net/api.h"
#include "telephony/voicereconnector.h"
#include "telephony/voicesession.h"
#include "widgets/guardedmessagebox.h"

#include <QDebug>
#include <QEvent>
#include <QFontMetrics>
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

QFont labelFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    return font;
}

QFont numberFont(bool hovered)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(hovered ? 13 : 14);
    return font;
}

// Where the icons leave room for the texts when the chip is pointed at.
const int HoveredTextX = 28;
const int PlainLabelX = 7;
const int PlainNumberX = 47;
const int TextGap = 6;
const int SmsZoneWidth = 29;

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

    // The look comes from styleRules(): an empty chip offers nothing to
    // press, so pointing at it changes nothing.
    setProperty("callable", isCallable());
    // Wide enough for the whole number and the name, pointed at or not.
    labelWidth = label.isEmpty() ? 0 : QFontMetrics(labelFont()).horizontalAdvance(label) + TextGap;
    plainNumberX = qMax(PlainNumberX, PlainLabelX + labelWidth);
    const int plainWidth = plainNumberX + QFontMetrics(numberFont(false)).horizontalAdvance(number) + 10;
    const int hoveredWidth
        = HoveredTextX + labelWidth + QFontMetrics(numberFont(true)).horizontalAdvance(number) + SmsZoneWidth + 2;
    chipWidth = qMax(ChipWidth, qMax(plainWidth, hoveredWidth));
    setMaximumSize(chipWidth, ChipHeight);
    resize(chipWidth, ChipHeight);
    placeZones();
    if (number.isEmpty())
        setToolTip(QStringLiteral("未填写号码"));
}

const char* TelNumberWidget::styleRules()
{
    return "TelNumberWidget{color:white;border-radius:12px;border:1px solid #94A68C;background-color:#E9FADE;}"
           "TelNumberWidget[callable=\"true\"]:hover{background-color:#CCCC00;border:1px solid #006600;}";
}

TelNumberWidget::~TelNumberWidget()
{
    // A call placed from here would otherwise go on with no way to end it.
    // Only ours: another chip may have placed a call since ours ended.
    if (statusLabel && CallStatusForwarder::instance()->callingWidget() == this)
        VoiceSession::releaseCall();
    closePopup();
}

QSize TelNumberWidget::sizeHint() const
{
    return QSize(chipWidth, ChipHeight);
}

bool TelNumberWidget::isCallable() const
{
    return !number.trimmed().isEmpty();
}

void TelNumberWidget::placeZones()
{
    callZone = QRect(QPoint(-1, 0), QPoint(25, 24));
    smsZone = QRect(QPoint(width() - SmsZoneWidth, 0), QPoint(width() - 3, 24));
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
    if (host)
        host->removeEventFilter(this);
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
    // A second press while the first message awaits its answer sends nothing.
    if (!smsEdit || smsGuard.isHeld())
        return;
    if (!VoiceSession::isOnline()) {
        GuardedMessageBox::warning(
            this, QStringLiteral("抱歉"), QStringLiteral("连接通讯服务器失败，不能发送短信，请稍后再试。"));
        return;
    }
    const QString text = smsEdit->toPlainText().trimmed();
    if (text.isEmpty()) {
        const QPointer<QPlainTextEdit> edit = smsEdit;
        if (GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("请输入短信内容！")) && edit)
            edit->setFocus(Qt::OtherFocusReason);
        return;
    }
    smsGuard.hold();
    smsCall = API::instance()->submitSms(number, text)->then(this, [this](const ApiAnswer& answer) {
        smsCall.clear();
        smsGuard.release();
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
    if (!host || !isCallable())
        return;
    const QPoint at = event->localPos().toPoint();
    if (callZone.contains(at)) {
        if (!VoiceSession::isOnline()) {
            // Lost and being mended, or never there: the clerk learns which.
            const VoiceReconnector* reconnector = VoiceReconnector::instance();
            const QString text = reconnector->isReconnecting() && reconnector->wasOnline()
                ? QStringLiteral("与通讯服务器的连接已断开，正在重新连接，请稍后再拨。")
                : QStringLiteral("连接通讯服务器失败，不能拨打电话，请同客服联系。");
            QMessageBox::warning(nullptr, QStringLiteral("抱歉"), text);
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
    // The overlay covers the host, so it follows the host's size while it is
    // open. Only an open chip watches the host: a list of many chips must not
    // put one filter each on every event of its host.
    host->installEventFilter(this);
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

    auto* who = new QLabel(whoText(), panel);
    who->setObjectName(QStringLiteral("whoLabel"));
    who->setTextFormat(Qt::PlainText);
    who->setAlignment(Qt::AlignCenter);
    who->setGeometry(0, 178, panel->width(), 24);

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
    auto* prompt = new QLabel(QStringLiteral("发给 %1 的短信，请输入内容：").arg(whoText()), panel);
    prompt->setObjectName(QStringLiteral("whoLabel"));
    prompt->setTextFormat(Qt::PlainText);
    prompt->setGeometry(5, 5, 390, 25);

    smsEdit = new QPlainTextEdit(panel);
    smsEdit->setGeometry(5, 30, 390, 130);

    QToolButton* send = makeButton(panel, QStringLiteral("发送"), QRect(5, 165, 135, 30), greenButtonStyleSheet());
    connect(send, &QToolButton::clicked, this, &TelNumberWidget::slot_send_clicked);
    QToolButton* close = makeButton(panel, QStringLiteral("关闭"), QRect(150, 165, 135, 30), blueButtonStyleSheet());
    connect(close, &QToolButton::clicked, this, &TelNumberWidget::slot_close_clicked);
}

QString TelNumberWidget::whoText() const
{
    return label.isEmpty() ? number : label + QStringLiteral(" ") + number;
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
    // An empty chip offers nothing to press.
    hovered = isCallable();
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
    // The name and the whole number, pointed at or not; pointing moves them
    // right to make room for the call icon.
    const int labelX = hovered ? HoveredTextX : PlainLabelX;
    painter.setFont(labelFont());
    painter.setPen(QColor(QStringLiteral("#666666")));
    painter.drawText(QRect(labelX, 7, labelWidth, 14), Qt::AlignLeft | Qt::AlignVCenter, label);

    painter.setFont(numberFont(hovered));
    painter.setPen(QColor(QStringLiteral("#996600")));
    const int x = hovered ? HoveredTextX + labelWidth : plainNumberX;
    painter.drawText(QRect(x, 5, width() - x, 14), Qt::AlignLeft | Qt::AlignVCenter, number);
    if (hovered) {
        painter.drawPixmap(callZone, QPixmap(QStringLiteral(":/images/ico_call.png")));
        painter.drawPixmap(smsZone, QPixmap(QStringLiteral(":/images/ico_sms.png")));
    }
}

void TelNumberWidget::resizeEvent(QResizeEvent* event)
{
    placeZones();
    coverHost();
    event->accept();
}

bool TelNumberWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == host && event->type() == QEvent::Resize)
        coverHost();
    return QFrame::eventFilter(watched, event);
}
