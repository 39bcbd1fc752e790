#include "widgets/richtextlabel.h"

#include "support/testenvironment.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// A widget that draws its lines itself, as a list row does.
class LineOwner : public QWidget
{
public:
    using QWidget::QWidget;
    RichTextLines lines;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        lines.paint(&painter, this, event->rect());
    }
};

} // namespace

// The label must draw what a rich-text QLabel draws, pixel for pixel, in the
// same place, under the same style sheet: the list rows rely on it.
class TestRichTextLabel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;

    // The two labels side by side in one styled window, painted.
    QPair<QImage, QImage> paintBoth(const QString& markup, const QSize& size, Qt::Alignment alignment, bool wrap,
        const std::function<void(QLabel*)>& change = {})
    {
        window = std::make_unique<QWidget>();
        window->setStyleSheet(QStringLiteral("QLabel{font-size:12px;background:transparent;}"));
        auto* reference = new QLabel(window.get());
        reference->setTextFormat(Qt::RichText);
        reference->setText(markup);
        auto* label = new RichTextLabel(markup, window.get());
        for (QLabel* each : { reference, static_cast<QLabel*>(label) }) {
            each->setAlignment(alignment);
            each->setWordWrap(wrap);
        }
        reference->setGeometry(QRect(QPoint(0, 0), size));
        label->setGeometry(QRect(QPoint(0, size.height()), size));
        window->resize(size.width(), 2 * size.height());
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return {};
        if (change) {
            // Laid out once before the change: the change must reach the paint.
            label->grab();
            change(reference);
            change(label);
        }
        return { reference->grab().toImage(), label->grab().toImage() };
    }

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void cleanup() { window.reset(); }

    void drawsAsARichTextLabel_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<bool>("wrap");

        const int left = Qt::AlignLeft | Qt::AlignVCenter;
        QTest::newRow("bold caption") << QStringLiteral("<b>司机1:</b>") << QSize(33, 20) << left << false;
        QTest::newRow("captions and values, escaped")
            << QStringLiteral("<b>承运车辆：</b>粤B1&nbsp;&nbsp;<b>托运人：</b>A&amp;B&lt;1&gt;") << QSize(600, 20)
            << left << false;
        QTest::newRow("sized and coloured spans")
            << QStringLiteral("<b style='font-size:16px;color:#0099CC;'>华南五金</b>    五金行业") << QSize(500, 20)
            << left << false;
        QTest::newRow("taller than its line, centred")
            << QStringLiteral("<font color='#666666'>地址:</font>路1号") << QSize(200, 60) << left << false;
        QTest::newRow("at the top, right")
            << QStringLiteral("<b>货物:</b>钢材") << QSize(200, 40) << int(Qt::AlignRight | Qt::AlignTop) << false;
        QTest::newRow("wrapped in a narrow label")
            << QStringLiteral("<b>托运人：</b>华南五金贸易有限公司 <b>收货人：</b>长沙建材城") << QSize(120, 40) << left
            << true;
        QTest::newRow("cut where it does not wrap")
            << QStringLiteral("<b>托运人：</b>华南五金贸易有限公司 <b>收货人：</b>长沙建材城") << QSize(120, 20) << left
            << false;
    }

    void drawsAsARichTextLabel()
    {
        QFETCH(QString, markup);
        QFETCH(QSize, size);
        QFETCH(int, alignment);
        QFETCH(bool, wrap);
        const auto images = paintBoth(markup, size, Qt::Alignment(alignment), wrap);
        QVERIFY(!images.first.isNull());
        QCOMPARE(images.second, images.first);
    }

    void changesReachThePaint_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("new markup") << 0;
        QTest::newRow("narrower") << 1;
        QTest::newRow("larger font") << 2;
    }

    void changesReachThePaint()
    {
        QFETCH(int, what);
        const auto change = [what](QLabel* label) {
            if (what == 0) {
                if (auto* rich = qobject_cast<RichTextLabel*>(label))
                    rich->setMarkup(QStringLiteral("<b>完成时间:</b>2024-03-02"));
                else
                    label->setText(QStringLiteral("<b>完成时间:</b>2024-03-02"));
            } else if (what == 1) {
                label->resize(60, label->height());
            } else {
                label->setStyleSheet(QStringLiteral("font-size:16px;"));
            }
        };
        const auto images = paintBoth(QStringLiteral("<b>发车时间:</b>2024-03-01 18:30:00"), QSize(200, 40),
            Qt::AlignLeft | Qt::AlignVCenter, true, change);
        QVERIFY(!images.first.isNull());
        QCOMPARE(images.second, images.first);
    }

    // Lines a widget draws itself look as rich-text labels of the same place
    // would, under the same style sheet, also after new markup.
    void linesDrawAsRichTextLabels_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::newRow("as made") << false;
        QTest::newRow("new markup") << true;
    }

    void linesDrawAsRichTextLabels()
    {
        QFETCH(bool, changed);
        struct Line
        {
            QString name;
            QRect geometry;
            QString markup;
            bool wrap;
        };
        const QList<Line> lines {
            { QStringLiteral("title"), QRect(5, 8, 300, 20),
                QStringLiteral("<b style='font-size:16px;color:#0099CC;'>华南五金</b>    五金行业"), false },
            { QStringLiteral("parties"), QRect(5, 30, 120, 40),
                QStringLiteral("<b>托运人：</b>华南五金贸易有限公司 <b>收货人：</b>长沙建材城"), true },
            { QStringLiteral("address"), QRect(130, 40, 150, 20),
                QStringLiteral("<font color='#666666'>地址:</font>A&amp;B路1号"), false },
        };
        const QString changedMarkup = QStringLiteral("<b>应支付司机:</b>300元&nbsp;已付");

        window = std::make_unique<QWidget>();
        window->setStyleSheet(QStringLiteral("QLabel{font-size:12px;background:transparent;}"));
        auto* reference = new QWidget(window.get());
        auto* owner = new LineOwner(window.get());
        QList<QLabel*> labels;
        for (const Line& line : lines) {
            auto* label = new QLabel(line.markup, reference);
            label->setTextFormat(Qt::RichText);
            label->setWordWrap(line.wrap);
            label->setGeometry(line.geometry);
            labels << label;
            owner->lines.add(line.name, line.geometry, line.markup, line.wrap);
        }
        reference->setGeometry(0, 0, 320, 80);
        owner->setGeometry(0, 80, 320, 80);
        window->resize(320, 160);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        if (changed) {
            owner->grab();
            labels.at(2)->setText(changedMarkup);
            owner->lines.setMarkup(owner, QStringLiteral("address"), changedMarkup);
            QCOMPARE(owner->lines.markup(QStringLiteral("address")), changedMarkup);
        }
        QCOMPARE(owner->grab().toImage(), reference->grab().toImage());
    }

    // A rich-text QLabel answers a right click with a menu of its own; this
    // label leaves the click to its parent (a list row and its menu).
    void leavesTheContextMenuToItsParent()
    {
        QWidget parent;
        RichTextLabel label(QStringLiteral("<b>托运人：</b>甲"), &parent);
        QCOMPARE(label.markup(), QStringLiteral("<b>托运人：</b>甲"));
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), label.mapToGlobal(QPoint(5, 5)));
        event.accept();
        QApplication::sendEvent(&label, &event);
        QVERIFY(!event.isAccepted());
    }
};

QTEST_MAIN(TestRichTextLabel)
#include "tst_richtextlabel.moc"
