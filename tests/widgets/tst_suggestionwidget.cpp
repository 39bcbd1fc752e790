// The suggestion list driven through its target: what typing asks for, what
// a refill shows, choosing, showing and hiding on focus, placement and
// add-new.
#include "widgets/suggestionwidget.h"

#include "support/screentestkit.h"
#include "support/testenvironment.h"

#include "widgets/suggestionitem.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

class TestSuggestionWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void init();
    void cleanup();

    void everyEditAsksWithTheWholeText();
    void refillShowsTheFirstTenDescending_data();
    void refillShowsTheFirstTenDescending();
    void choosingWritesNameAndIdAndAHandEditClearsTheId();
    void namesShowAsTyped_data();
    void namesShowAsTyped();
    void focusShowsAndHides();
    void placementFollowsTheTarget();
    void addNewEchoesTheTag();

private:
    QStringList shownNames() const;
    SuggestionItem* entry(const QString& name) const;

    // Stands in for an activity: a 35-pixel header above a body that holds
    // the target and another edit.
    QWidget* activity = nullptr;
    QLineEdit* target = nullptr;
    QLineEdit* other = nullptr;
    SuggestionWidget* list = nullptr;
};

void TestSuggestionWidget::init()
{
    activity = new QWidget;
    auto* outer = new QVBoxLayout(activity);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* header = new QWidget;
    header->setFixedHeight(35);
    outer->addWidget(header);
    auto* body = new QWidget;
    outer->addWidget(body, 1);
    auto* row = new QHBoxLayout(body);
    row->setContentsMargins(20, 20, 20, 20);
    target = new QLineEdit;
    other = new QLineEdit;
    row->addWidget(target, 1);
    row->addWidget(other, 1);
    row->setAlignment(Qt::AlignTop);
    list = new SuggestionWidget(target, activity);
    activity->resize(600, 400);
    activity->show();
    activity->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(activity));
}

void TestSuggestionWidget::cleanup()
{
    delete activity;
    activity = nullptr;
}

QStringList TestSuggestionWidget::shownNames() const
{
    QStringList names;
    QList<SuggestionItem*> items = list->findChildren<SuggestionItem*>();
    std::sort(items.begin(), items.end(), [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    for (const SuggestionItem* item : qAsConst(items))
        names << item->text();
    return names;
}

SuggestionItem* TestSuggestionWidget::entry(const QString& name) const
{
    for (SuggestionItem* item : list->findChildren<SuggestionItem*>()) {
        if (item->text() == name)
            return item;
    }
    return nullptr;
}

void TestSuggestionWidget::everyEditAsksWithTheWholeText()
{
    QSignalSpy asked(list, &SuggestionWidget::signal_suggestion_request);
    QVERIFY(!list->isVisible());
    ScreenTestKit::typeText(target, QStringLiteral("货运"));
    // Shown at once, empty as it is.
    QVERIFY(list->isVisible());
    QTest::keyClick(target, Qt::Key_Backspace);
    QTest::keyClick(target, Qt::Key_Backspace);
    // Text set by the program is no edit.
    target->setText(QStringLiteral("x"));
    QStringList texts;
    for (const QList<QVariant>& call : qAsConst(asked))
        texts << call.first().toString();
    QCOMPARE(texts, (QStringList { QStringLiteral("货"), QStringLiteral("货运"), QStringLiteral("货"), QString() }));
}

void TestSuggestionWidget::refillShowsTheFirstTenDescending_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("twelve") << 12
                            << QStringList { "n09", "n08", "n07", "n06", "n05", "n04", "n03", "n02", "n01", "n00" };
    QTest::newRow("three") << 3 << QStringList { "n02", "n01", "n00" };
    QTest::newRow("none") << 0 << QStringList {};
}

void TestSuggestionWidget::refillShowsTheFirstTenDescending()
{
    QFETCH(int, count);
    QFETCH(QStringList, shown);
    // An earlier refill's entries all go.
    list->setSuggestions({ { QStringLiteral("old"), 1 } });
    QMap<QString, int> names;
    for (int i = count - 1; i >= 0; --i)
        names.insert(QStringLiteral("n%1").arg(i, 2, 10, QLatin1Char('0')), i);
    list->setSuggestions(names);
    QVERIFY(!list->isVisible());
    ScreenTestKit::typeText(target, QStringLiteral("n"));
    QTRY_COMPARE(shownNames(), shown);
    auto* addNew = list->findChild<QToolButton*>(QStringLiteral("Button"));
    QVERIFY(addNew->isVisible());
    QCOMPARE(addNew->text(), QStringLiteral("添加新的"));
    // The button stays at the bottom of the box, below every entry.
    QTRY_VERIFY(addNew->geometry().bottom() > list->height() - 10);
    for (const SuggestionItem* item : list->findChildren<SuggestionItem*>())
        QVERIFY(item->geometry().bottom() < addNew->y());
}

void TestSuggestionWidget::choosingWritesNameAndIdAndAHandEditClearsTheId()
{
    QSignalSpy asked(list, &SuggestionWidget::signal_suggestion_request);
    QVERIFY(!target->property("id").isValid());
    ScreenTestKit::typeText(target, QStringLiteral("甲"));
    list->setSuggestions({ { QStringLiteral("甲公司"), 41 }, { QStringLiteral("甲乙"), 42 } });
    QTest::mouseClick(entry(QStringLiteral("甲乙")), Qt::LeftButton);
    QVERIFY(!list->isVisible());
    QCOMPARE(target->text(), QStringLiteral("甲乙"));
    QCOMPARE(target->property("id"), QVariant(42));
    QCOMPARE(asked.count(), 1);

    // Typing over a chosen name leaves no id behind for the new text.
    ScreenTestKit::typeText(target, QStringLiteral("丙"));
    QCOMPARE(target->property("id").toInt(), 0);
    list->setSelected(7, QStringLiteral("丁"));
    QCOMPARE(target->text(), QStringLiteral("丁"));
    QCOMPARE(target->property("id"), QVariant(7));
    QVERIFY(list->isVisible());
}

void TestSuggestionWidget::namesShowAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("markup") << QStringLiteral("<b>甲</b>公司");
    QTest::newRow("entity") << QStringLiteral("A&amp;B");
    QTest::newRow("image") << QStringLiteral("<img src=\"x\">乙");
}

// A platform name is text, never markup, and is chosen as it stands.
void TestSuggestionWidget::namesShowAsTyped()
{
    QFETCH(QString, name);
    ScreenTestKit::typeText(target, QStringLiteral("甲"));
    list->setSuggestions({ { name, 5 } });
    SuggestionItem* item = entry(name);
    QVERIFY(item);
    QCOMPARE(item->textFormat(), Qt::PlainText);
    QCOMPARE(item->text(), name);
    QTest::mouseClick(item, Qt::LeftButton);
    QCOMPARE(target->text(), name);
}

void TestSuggestionWidget::focusShowsAndHides()
{
    // Before any refill with entries, focus alone shows nothing.
    other->setFocus();
    target->setFocus();
    QVERIFY(!list->isVisible());
    list->setSuggestions({ { QStringLiteral("甲"), 1 } });
    other->setFocus();
    target->setFocus();
    QVERIFY(list->isVisible());
    other->setFocus();
    QVERIFY(!list->isVisible());
    // An empty refill still shows the box with its add-new button.
    list->setSuggestions({});
    target->setFocus();
    QVERIFY(list->isVisible());
    target->clearFocus();
    QVERIFY(!list->isVisible());
}

void TestSuggestionWidget::placementFollowsTheTarget()
{
    ScreenTestKit::typeText(target, QStringLiteral("a"));
    const auto wanted
        = [this] { return QRect(target->x(), target->y() + target->height() + 36, target->width(), 270); };
    QTRY_COMPARE(list->geometry(), wanted());
    QCOMPARE(list->geometry().top(), target->mapTo(activity, QPoint(0, target->height())).y() + 1);
    const int before = target->width();
    activity->resize(900, 400);
    QTRY_VERIFY(target->width() > before);
    QTRY_COMPARE(list->geometry(), wanted());
    QCOMPARE(list->maximumWidth(), target->width());
}

void TestSuggestionWidget::addNewEchoesTheTag()
{
    list->tag = 2;
    QSignalSpy added(list, &SuggestionWidget::signal_suggestion_addnew);
    ScreenTestKit::typeText(target, QStringLiteral("a"));
    QTest::mouseClick(list->findChild<QToolButton*>(QStringLiteral("Button")), Qt::LeftButton);
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().first().toInt(), 2);
    QVERIFY(list->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(target));
}

QTEST_MAIN(TestSuggestionWidget)
#include "tst_suggestionwidget.moc"
