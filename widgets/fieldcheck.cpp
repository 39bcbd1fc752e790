#include "widgets/fieldcheck.h"

#include "widgets/guardedmessagebox.h"

#include <QLineEdit>
#include <QLocale>
#include <QStyle>

const char* const FieldCheck::MobilePattern = "^1[3-9][0-9]{9}$";
const char* const FieldCheck::PhonePattern = "^(1[3-9][0-9]{9}|0[1-9][0-9]{1,2}[0-9]{7,8})$";

FieldCheck::FieldCheck(QLineEdit* edit, const QString& caption)
    : QObject(edit)
    , edit(edit)
    , name(caption)
{
    connect(edit, &QLineEdit::textChanged, this, &FieldCheck::mark);
}

FieldCheck* FieldCheck::maxLength(int characters)
{
    longest = characters;
    mark();
    return this;
}

FieldCheck* FieldCheck::pattern(const QString& pattern, const QString& rule)
{
    shape = QRegularExpression(pattern);
    shapeRule = rule;
    mark();
    return this;
}

FieldCheck* FieldCheck::decimal(double low, bool lowAllowed, double high, int decimals, const QString& rule)
{
    isDecimal = true;
    minimum = low;
    minimumAllowed = lowAllowed;
    maximum = high;
    shape = QRegularExpression(QStringLiteral("^[0-9]+(\\.[0-9]{1,%1})?$").arg(decimals));
    decimalRule = rule;
    mark();
    return this;
}

QString FieldCheck::problem() const
{
    if (!edit)
        return QString();
    const QString text = edit->text().trimmed();
    if (text.isEmpty())
        return QString();
    // Counted as the clerk counts them: a character outside the basic plane
    // is one character, not two.
    const int length = text.toUcs4().size();
    if (longest > 0 && length > longest)
        return QStringLiteral("最多%1个字，现在有%2个字。").arg(longest).arg(length);
    if (isDecimal) {
        bool ok = shape.match(text).hasMatch();
        const double value = ok ? QLocale::c().toDouble(text, &ok) : 0;
        if (!ok || value > maximum || value < minimum || (!minimumAllowed && value == minimum))
            return decimalRule;
        return QString();
    }
    if (!shapeRule.isEmpty() && !shape.match(text).hasMatch())
        return shapeRule;
    return QString();
}

bool FieldCheck::passAll(const QList<FieldCheck*>& checks, const QObject* caller)
{
    for (FieldCheck* check : checks) {
        const QString wrong = check->problem();
        if (wrong.isEmpty())
            continue;
        const QPointer<QLineEdit> field = check->edit;
        if (GuardedMessageBox::warning(caller, QStringLiteral("提醒"), check->name + QStringLiteral("：") + wrong)
            && field)
            field->setFocus(Qt::OtherFocusReason);
        return false;
    }
    return true;
}

FieldCheck* FieldCheck::of(const QLineEdit* edit)
{
    return edit ? edit->findChild<FieldCheck*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void FieldCheck::mark()
{
    if (!edit)
        return;
    const QString wrong = problem();
    const bool broken = !wrong.isEmpty();
    edit->setToolTip(broken ? name + QStringLiteral("：") + wrong : QString());
    if (edit->property("invalid").toBool() == broken)
        return;
    edit->setProperty("invalid", broken);
    // The application's style sheet frames a field whose "invalid" is true.
    edit->style()->unpolish(edit);
    edit->style()->polish(edit);
    edit->update();
}
