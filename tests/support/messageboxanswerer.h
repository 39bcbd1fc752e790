#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal boxes a test expects, in order, as they appear.
//
// The test queues what it expects (a button to press on a message box, or a
// handler for any other modal dialog); a polling timer notices each new
// visible modal widget, records its class, title and text, and queues the
// answer with a zero-delay timer, so no modal is ever clicked from inside the
// polling slot (Qt does not re-fire a timer whose slot is still running).
// A box nobody expected is recorded as unexpected and closed, so a failing
// test cannot hang the rest.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    explicit MessageBoxAnswerer(QObject* parent = nullptr);
    ~MessageBoxAnswerer() override;

    // Press `button` on the next message box.
    void expect(QMessageBox::StandardButton button);
    // Run `handler` on the next modal widget of any kind (it must close it).
    void expectDialog(std::function<void(QWidget*)> handler);

    // Waits until every queued expectation has been answered.
    bool waitForAll(int timeoutMs = 5000);
    int pending() const { return queue.size(); }

    const QList<Seen>& seen() const { return seenBoxes; }
    // Everything seen, as "title|text" lines: handy in QCOMPARE.
    QStringList seenTexts() const;
    QStringList unexpected() const { return unexpectedBoxes; }
    void clear();

    // Closes every modal widget still open (for a test's cleanup()).
    static void closeAllModals();

private:
    void poll();

    struct Expectation
    {
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        std::function<void(QWidget*)> handler;
    };

    QTimer timer;
    QList<Expectation> queue;
    QList<Seen> seenBoxes;
    QStringList unexpectedBoxes;
    QList<QPointer<QWidget>> handled;
};
