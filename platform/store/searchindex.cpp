#include "searchindex.h"

#include "dialect.h"

namespace platform {

SearchIndex::Match SearchIndex::match(const QSqlDatabase& db, Target target, const QString& text)
{
    if (text.isEmpty())
        return { table(target) + QLatin1Char(' ') + alias(target), {}, QString(), {} };
    return Dialect::of(db).searchMatch(target, text);
}

QString SearchIndex::table(Target target)
{
    switch (target) {
    case Target::Trucks:
        return QStringLiteral("trucks");
    case Target::Shippers:
        return QStringLiteral("shippers");
    case Target::Consignees:
        return QStringLiteral("consignees");
    case Target::Trades:
        break;
    }
    return QStringLiteral("trades");
}

QString SearchIndex::alias(Target target)
{
    switch (target) {
    case Target::Trucks:
        return QStringLiteral("t");
    case Target::Shippers:
    case Target::Consignees:
        return QStringLiteral("p");
    case Target::Trades:
        break;
    }
    return QStringLiteral("tr");
}

bool SearchIndex::indexable(const QString& text)
{
    return text.toUcs4().size() >= 3;
}

QString SearchIndex::containsPattern(const QString& text)
{
    QString pattern = QStringLiteral("%");
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern + QLatin1Char('%');
}

} // namespace platform
