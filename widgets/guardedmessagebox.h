#pragma once

#include <QString>

class QObject;

// The standard warning and question boxes, shown without a parent as the
// screens always show them, for callers that a box's event loop may delete:
// a list reload, a closed section or a finished form can take the row or
// form that opened the box with it. Each call tells whether the caller still
// exists afterwards, so that nothing touches a deleted object.
//
// The boxes are the plain static QMessageBox ones, so the desktop shows them
// as it shows every other box, and tests answer them like any other.
class GuardedMessageBox
{
public:
    enum class Answer { Yes, No, CallerGone };

    // QMessageBox::warning with the single button Ok. Returns false when
    // `caller` was deleted while the box was open.
    static bool warning(const QObject* caller, const QString& title, const QString& text);
    // QMessageBox::information with the single button Ok; returns as warning().
    static bool information(const QObject* caller, const QString& title, const QString& text);
    // QMessageBox::question with Yes and No, Yes the default. Only a Yes
    // pressed while `caller` still exists answers Yes; a box closed any
    // other way answers No.
    static Answer question(const QObject* caller, const QString& title, const QString& text);
};
