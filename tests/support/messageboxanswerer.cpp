#include "messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent)
    : QObject(parent)
{
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    timer.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    timer.stop();
}

void MessageBoxAnswerer::expect(QMessageBox::StandardButton button)
{
    Expectation e;
    e.button = button;
    queue.append(e);
}

void MessageBoxAnswerer::expectDialog(std::function<void(QWidget*)> handler)
{
    Expectation e;
    e.handler = std::move(handler);
    queue.append(e);
}

bool MessageBoxAnswerer::waitForAll(int timeoutMs)
{
    return QTest::qWaitFor([this] { return queue.isEmpty(); }, timeoutMs);
}

QStringList MessageBoxAnswerer::seenTexts() const
{
    QStringList out;
    for (const Seen& s : seenBoxes)
        out << s.title + QLatin1Char('|') + s.text;
    return out;
}

void MessageBoxAnswerer::clear()
{
    queue.clear();
    seenBoxes.clear();
    unexpectedBoxes.clear();
}

void MessageBoxAnswerer::closeAllModals()
{
    for (int i = 0; i < 20; ++i) {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            return;
        if (auto* dlg = qobject_cast<QDialog*>(w))
            dlg->reject();
        else
            w->close();
        QCoreApplication::processEvents();
    }
}

void MessageBoxAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    for (const QPointer<QWidget>& h : handled) {
        if (h == modal)
            return;
    }
    handled.append(modal);

    Seen s;
    s.className = QString::fromLatin1(modal->metaObject()->className());
    s.title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        s.text = box->text();
        s.icon = box->icon();
    }
    seenBoxes.append(s);

    QPointer<QWidget> target(modal);
    if (queue.isEmpty()) {
        unexpectedBoxes << s.title + QLatin1Char('|') + s.text;
        QTimer::singleShot(0, this, [target] {
            if (!target)
                return;
            if (auto* dlg = qobject_cast<QDialog*>(target.data()))
                dlg->reject();
            else
                target->close();
        });
        return;
    }

    Expectation e = queue.takeFirst();
    QTimer::singleShot(0, this, [target, e] {
        if (!target)
            return;
        if (e.handler) {
            e.handler(target);
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(target.data())) {
            if (QAbstractButton* b = box->button(e.button)) {
                b->click();
                return;
            }
        }
        if (auto* dlg = qobject_cast<QDialog*>(target.data()))
            dlg->reject();
    });
}
