#pragma once

#include "telephony/callstatusforwarder.h"
#include "widgets/pressguard.h"

#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QString>

class ApiCall;
class QLabel;
class QPlainTextEdit;

// A contact's phone number as a small rounded chip. Hovering shows a call
// icon at the left end and a text-message icon at the right end; clicking
// them opens, over `host`, a calling panel that follows the call's progress
// or a form that sends a text message through the platform.
//
// The overlay belongs to `host` and lives until closePopup(); the chip only
// refers to it. The voice callbacks are plain functions that may run on the
// voice SDK's thread: they never touch a widget, they post to the
// CallStatusForwarder, which reaches the pop-up that placed the call.
class TelNumberWidget : public QFrame
{
    Q_OBJECT

public:
    TelNumberWidget(const QString& number, const QString& label, QWidget* host, QWidget* parent);
    ~TelNumberWidget() override;

    // Voice callbacks for the SDK's callback table. Any thread.
    static void onCallProceeding(const char* callId);
    static void onCallAnswered(const char* callId);
    static void onMakeCallFailed(const char* callId, int reason);
    static void onCallReleased(const char* callId);

    // The chips' look, for the style sheet of a screen that shows chips:
    // selected by class, and by the property "callable" for the hover.
    static const char* styleRules();

    // As wide as the name and the whole number need, at least 137 pixels.
    QSize sizeHint() const override;
    // False for an empty number: the chip then offers neither a call nor a
    // text message.
    bool isCallable() const;

    // Removes the panel and the overlay, if open.
    void closePopup();

    // GUI thread: emits the call-progress text for `event` (used by the
    // forwarder for the call this chip placed).
    void reportCallEvent(CallStatusForwarder::CallEvent event);

signals:
    void signal_calling_status(QString msg);

public slots:
    void slot_hangup_clicked();
    void slot_send_clicked();
    void slot_close_clicked();
    void slot_submit_sms_finished(bool success, QString errors);
    void slot_calling_status(QString msg);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openPopup();
    void buildCallPanel();
    void buildSmsPanel();
    void coverHost();
    void placeZones();
    // The person and the number, as the panels name them.
    QString whoText() const;

    QString number;
    QString label;
    QPointer<QWidget> host;
    // The overlay and its parts belong to `host`; they are null while no
    // panel is open (and become null if `host` takes them down with it).
    QPointer<QFrame> overlay;
    QPointer<QFrame> panel;
    QPointer<QLabel> statusLabel;
    QPointer<QPlainTextEdit> smsEdit;
    bool hovered = false;
    int chipWidth = 0;
    // The name's width and the gap after it, measured once.
    int labelWidth = 0;
    int plainNumberX = 0;
    QRect callZone;
    QRect smsZone;
    // Held from "发送" until the platform answers: one press, one message.
    PressGuard smsGuard;
    // This chip's text message while it awaits the platform's answer.
    QPointer<ApiCall> smsCall;
};
