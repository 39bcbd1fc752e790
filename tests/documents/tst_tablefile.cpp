// The cells of the table files: a record's JSON values as cells of their
// column's kind, and the cells as CSV fields.
#include "documents/tablecolumn.h"
#include "documents/tablefile.h"

#include <QDate>
#include <QDateTime>
#include <QJsonValue>
#include <QTest>

class TestTableFile : public QObject
{
    Q_OBJECT

private slots:
    void cellsKeepTheirKind_data();
    void cellsKeepTheirKind();
    void csvFields_data();
    void csvFields();
};

void TestTableFile::cellsKeepTheirKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QVariant>("cell");

    const int integer = int(TableColumn::Kind::Integer);
    const int money = int(TableColumn::Kind::Money);
    const int time = int(TableColumn::Kind::DateTime);
    QTest::newRow("integer from text") << integer << QJsonValue("12") << QVariant(qlonglong(12));
    QTest::newRow("fraction is no integer") << integer << QJsonValue(12.5) << QVariant("12.5");
    QTest::newRow("money from text") << money << QJsonValue(" 5000.50 ") << QVariant(5000.5);
    QTest::newRow("words in a money column stay") << money << QJsonValue("面议") << QVariant("面议");
    QTest::newRow("time without seconds")
        << time << QJsonValue("2024-05-01 08:00") << QVariant(QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    QTest::newRow("day in a time column") << time << QJsonValue("2024-05-01") << QVariant(QDate(2024, 5, 1));
    QTest::newRow("impossible day stays")
        << int(TableColumn::Kind::Date) << QJsonValue("2024-02-30") << QVariant("2024-02-30");
    QTest::newRow("number in a text column") << int(TableColumn::Kind::Text) << QJsonValue(7) << QVariant("7");
    QTest::newRow("blank") << money << QJsonValue("  ") << QVariant();
    QTest::newRow("missing") << time << QJsonValue(QJsonValue::Undefined) << QVariant();
}

void TestTableFile::cellsKeepTheirKind()
{
    QFETCH(int, kind);
    QFETCH(QJsonValue, value);
    QFETCH(QVariant, cell);
    const QVariant made = TableColumn::cell(TableColumn::Kind(kind), value);
    QCOMPARE(made.userType(), cell.userType());
    QCOMPARE(made, cell);
}

void TestTableFile::csvFields_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("cell");
    QTest::addColumn<QString>("field");

    const int text = int(TableColumn::Kind::Text);
    const int money = int(TableColumn::Kind::Money);
    QTest::newRow("plain") << text << QVariant("张三") << "张三";
    QTest::newRow("comma") << text << QVariant("北京,上海") << "\"北京,上海\"";
    QTest::newRow("quotes doubled") << text << QVariant("\"加急\"") << "\"\"\"加急\"\"\"";
    QTest::newRow("line break") << text << QVariant("一\n二") << "\"一\n二\"";
    QTest::newRow("outer space kept") << text << QVariant(" A ") << "\" A \"";
    QTest::newRow("formula disarmed") << text << QVariant("=HYPERLINK(\"x\")") << "\"'=HYPERLINK(\"\"x\"\")\"";
    QTest::newRow("at sign disarmed") << text << QVariant("@SUM(A1)") << "'@SUM(A1)";
    QTest::newRow("money two decimals") << money << QVariant(5000.5) << "5000.50";
    QTest::newRow("negative money stays a number") << money << QVariant(-12.0) << "-12.00";
    QTest::newRow("integer") << int(TableColumn::Kind::Integer) << QVariant(qlonglong(42)) << "42";
    QTest::newRow("decimal") << int(TableColumn::Kind::Number) << QVariant(20.125) << "20.125";
    QTest::newRow("date") << int(TableColumn::Kind::Date) << QVariant(QDate(2026, 12, 7)) << "2026-12-07";
    QTest::newRow("time") << int(TableColumn::Kind::DateTime) << QVariant(QDateTime(QDate(2026, 12, 7), QTime(9, 5)))
                          << "2026-12-07 09:05:00";
    QTest::newRow("empty") << text << QVariant() << "";
}

void TestTableFile::csvFields()
{
    QFETCH(int, kind);
    QFETCH(QVariant, cell);
    QFETCH(QString, field);
    QCOMPARE(TableFile::csvField(TableColumn::Kind(kind), cell), field);
}

QTEST_GUILESS_MAIN(TestTableFile)
#include "tst_tablefile.moc"
