#include "namekey.h"

#include "dialect.h"
#include "sql.h"

#include <QSet>
#include <QSqlDriver>
#include <QVariant>
#include <QVector>

#include <sqlite3.h>

#include <stdexcept>

namespace platform {

namespace {

bool showsNothing(uint c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
        return true;
    default:
        break;
    }
    return c == 0x034F // combining grapheme joiner
        || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) // variation selectors
        || (c >= 0x180B && c <= 0x180D) // Mongolian free variation selectors
        || c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0 // Hangul fillers
        || c == 0x17B4 || c == 0x17B5 || c == 0x2800;
}

QString withoutInvisible(const QString& text)
{
    QString kept;
    kept.reserve(text.size());
    for (const uint c : text.toUcs4()) {
        if (!showsNothing(c))
            kept.append(QString::fromUcs4(&c, 1));
    }
    return kept;
}

// SQL's name_key(text): NameKey::of, for comparing stored names.
void sqlNameKey(sqlite3_context* context, int, sqlite3_value** arguments)
{
    const void* text = sqlite3_value_text16(arguments[0]);
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    const int units = sqlite3_value_bytes16(arguments[0]) / 2;
    const QString key = NameKey::of(QString::fromUtf16(static_cast<const ushort*>(text), units));
    sqlite3_result_text16(context, key.utf16(), key.size() * 2, SQLITE_TRANSIENT);
}

// Makes name_key() known to the connection, once per connection.
void requireSqlFunction(const QSqlDatabase& db)
{
    thread_local QSet<QString> registered;
    if (registered.contains(db.connectionName()))
        return;
    const QVariant handle = db.driver()->handle();
    sqlite3* connection = nullptr;
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        connection = *static_cast<sqlite3* const*>(handle.constData());
    if (!connection
        || sqlite3_create_function_v2(connection, "name_key", 1, SQLITE_UTF16 | SQLITE_DETERMINISTIC, nullptr,
               &sqlNameKey, nullptr, nullptr, nullptr)
            != SQLITE_OK)
        throw std::runtime_error("cannot define name_key() on the database connection");
    registered.insert(db.connectionName());
}

} // namespace

QString NameKey::of(const QString& name)
{
    // Compatibility forms first (U+3164 folds to U+1160, a filler too), then
    // what shows nothing, then again, as a dropped joiner may let characters
    // compose.
    QString key
        = withoutInvisible(name.normalized(QString::NormalizationForm_KC)).normalized(QString::NormalizationForm_KC);
    return key.simplified();
}

QString NameKey::clash(
    const QSqlDatabase& db, const QString& table, const QString& column, qint64 organ, const QString& name, qint64 id)
{
    if (!Dialect::of(db).hasNameKeyFunction()) {
        // The keys are made here: the station's names are read and compared
        // one by one, as SQLite does with its function.
        const QString key = of(name);
        Sql q(db, QStringLiteral("SELECT %2 FROM %1 WHERE organ = ? AND deleted = 0 AND id <> ?").arg(table, column));
        q.bind(organ).bind(id).exec();
        while (q.next()) {
            const QString other = q.text(0);
            if (other == name || of(other) == key)
                return other;
        }
        return QString();
    }
    requireSqlFunction(db);
    Sql q(db,
        QStringLiteral("SELECT %2 FROM %1 WHERE organ = ? AND deleted = 0 AND id <> ?"
                       " AND (%2 = ? OR name_key(%2) = ?) LIMIT 1")
            .arg(table, column));
    q.bind(organ).bind(id).bind(name).bind(of(name)).exec();
    return q.next() ? q.text(0) : QString();
}

} // namespace platform
