#include "widgets/guardedmessagebox.h"

#include <QMessageBox>
#include <QPointer>

bool GuardedMessageBox::warning(const QObject* caller, const QString& title, const QString& text)
{
    const QPointer<const QObject> alive(caller);
    QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
    return !alive.isNull();
}

bool GuardedMessageBox::information(const QObject* caller, const QString& title, const QString& text)
{
    const QPointer<const QObject> alive(caller);
    QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
    return !alive.isNull();
}

GuardedMessageBox::Answer GuardedMessageBox::question(const QObject* caller, const QString& title, const QString& text)
{
    const QPointer<const QObject> alive(caller);
    const QMessageBox::StandardButton pressed =
        QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (alive.isNull())
        return Answer::CallerGone;
    return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
}
