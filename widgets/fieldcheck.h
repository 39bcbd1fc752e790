#pragma once

#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QString>

// The rule that a line edit's text must keep. The field takes whatever is
// typed or pasted: nothing is dropped or cut behind the clerk's back. While
// its text breaks the rule the field says so (a red frame, the rule as its
// tool tip), and a save refuses it with a message that names the field and
// the rule (passAll()).
//
// An empty text keeps every rule: whether a field may stay empty is the
// form's own check, made before these.
class FieldCheck : public QObject
{
    Q_OBJECT

public:
    // Phone numbers as the platform checks them: a mobile number, or a fixed
    // line as 0, the area code and the 7 or 8 digits of the number.
    static const char* const MobilePattern;
    static const char* const PhonePattern;

    // Belongs to `edit`; `caption` names the field in messages ("司机2手机").
    FieldCheck(QLineEdit* edit, const QString& caption);

    // At most `characters` characters.
    FieldCheck* maxLength(int characters);
    // The whole text matches `pattern`; `rule` says what that means.
    FieldCheck* pattern(const QString& pattern, const QString& rule);
    // A plain decimal number (digits, then a point and at most `decimals`
    // digits: no sign, exponent, unit or group separator) from `minimum`
    // (or above it when `minimumAllowed` is false) to `maximum`.
    FieldCheck* decimal(double minimum, bool minimumAllowed, double maximum, int decimals, const QString& rule);

    // What is wrong with the present text; empty when nothing is.
    QString problem() const;
    QLineEdit* field() const { return edit; }
    QString caption() const { return name; }

    // The first of `checks` whose field breaks its rule is refused: a warning
    // box titled "提醒" with "<caption>：<rule>", and the focus on the field.
    // True when every field keeps its rule (then nothing is shown). A caller
    // deleted while the box is open gets false and nothing more is touched.
    static bool passAll(const QList<FieldCheck*>& checks, const QObject* caller);
    // The check attached to `edit`; null when there is none.
    static FieldCheck* of(const QLineEdit* edit);

private:
    void mark();

    QPointer<QLineEdit> edit;
    QString name;
    int longest = 0;
    QRegularExpression shape;
    QString shapeRule;
    bool isDecimal = false;
    double minimum = 0;
    bool minimumAllowed = true;
    double maximum = 0;
    QString decimalRule;
};
