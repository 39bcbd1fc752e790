#include "shell/sidebar.h"

#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include "net/api.h"
#include "shell/servicecontacts.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Stands in for the home screen, which offers the feedback slot.
class Host : public QWidget
{
    Q_OBJECT

public:
    Host()
        : bar(new SideBar(this))
    {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(bar);
    }
    SideBar* bar;
    int feedbackClicks = 0;

public slots:
    void slot_feedback_clicked() { ++feedbackClicks; }
};

const QByteArray profilePath("/api/mine/profile/");
const QByteArray servicePath("/api/system/serviceinfo/");
} // namespace

class TestSideBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void defaultsUntilTheServerAnswers();
    void failedAnswersLeaveTheLines();
    void everyShowAsksAgain();
    void feedbackButtonReachesTheHost();

private:
    QString label(const char* name) const { return host->bar->findChild<QLabel*>(QLatin1String(name))->text(); }
    RecordingHttpServer server;
    Host* host = nullptr;
};

void TestSideBar::initTestCase()
{
    initClientTestEnvironment();
    QVERIFY(signInForTesting(server));
}

void TestSideBar::init()
{
    server.clearRequests();
    host = new Host;
}

void TestSideBar::cleanup()
{
    delete host;
    host = nullptr;
}

void TestSideBar::defaultsUntilTheServerAnswers()
{
    RecordingHttpServer::Reply profile = RecordingHttpServer::json(
        R"({"success":true,"data":{"organ":"城东货站","name":"李四","mobile_number":"13800000000",)"
        R"("summary":"<b>专线</b> 零担"}})");
    profile.gate = QStringLiteral("answers");
    RecordingHttpServer::Reply service
        = RecordingHttpServer::json(R"({"success":true,"data":{"mobile":"4001234567","qq":"12345<i>"}})");
    service.gate = QStringLiteral("answers");
    server.on(profilePath, profile);
    server.on(servicePath, service);

    host->show();
    QVERIFY(waitForRequests(server, servicePath, 1));
    QCOMPARE(label("ServicePhoneLabel"), ServiceContacts::defaultMobile());
    QCOMPARE(label("ServiceQQLabel"), ServiceContacts::defaultQQ());
    QVERIFY(label("OrganLabel").isEmpty());

    QSignalSpy serviceAnswered(API::instance(), &API::signal_fetch_serviceinfo_finished);
    QSignalSpy profileAnswered(API::instance(), &API::signal_fetch_profile_finished);
    server.release(QStringLiteral("answers"));
    QTRY_VERIFY(serviceAnswered.count() == 1 && profileAnswered.count() == 1);

    // The server's texts are shown as they are, never as markup.
    QCOMPARE(label("OrganLabel"), QStringLiteral("城东货站"));
    QCOMPARE(label("NameLabel"), QStringLiteral("联系人：李四"));
    QCOMPARE(label("MobileLabel"), QStringLiteral("13800000000"));
    QCOMPARE(label("SummaryLabel"), QStringLiteral("<b>专线</b> 零担"));
    QCOMPARE(host->bar->findChild<QLabel*>(QStringLiteral("SummaryLabel"))->textFormat(), Qt::PlainText);
    QCOMPARE(label("ServicePhoneLabel"), QStringLiteral("联系电话：4001234567"));
    const QString qq = label("ServiceQQLabel");
    QVERIFY2(qq.startsWith(QStringLiteral("QQ号码：<a href='")), qPrintable(qq));
    QVERIFY2(qq.contains(ServiceContacts::imContactUrl(QStringLiteral("12345<i>")).toHtmlEscaped()), qPrintable(qq));
    QVERIFY2(qq.endsWith(QStringLiteral(">12345&lt;i&gt;</a>")), qPrintable(qq));
}

void TestSideBar::failedAnswersLeaveTheLines()
{
    server.on(profilePath, RecordingHttpServer::json(R"({"success":false,"errors":"x"})"));
    server.on(servicePath, RecordingHttpServer::json("", 500));
    QSignalSpy serviceAnswered(API::instance(), &API::signal_fetch_serviceinfo_finished);
    QSignalSpy profileAnswered(API::instance(), &API::signal_fetch_profile_finished);
    host->show();
    QTRY_VERIFY(serviceAnswered.count() == 1 && profileAnswered.count() == 1);
    QCOMPARE(label("ServicePhoneLabel"), ServiceContacts::defaultMobile());
    QCOMPARE(label("ServiceQQLabel"), ServiceContacts::defaultQQ());
    QVERIFY(label("NameLabel").isEmpty());
}

void TestSideBar::everyShowAsksAgain()
{
    server.on(profilePath, RecordingHttpServer::json(R"({"success":true,"data":{"name":"甲"}})"));
    server.on(servicePath, RecordingHttpServer::json(R"({"success":true,"data":{"mobile":"1","qq":"2"}})"));
    host->show();
    QVERIFY(waitForRequests(server, profilePath, 1));
    QVERIFY(waitForRequests(server, servicePath, 1));
    QTRY_COMPARE(label("NameLabel"), QStringLiteral("联系人：甲"));

    server.on(profilePath, RecordingHttpServer::json(R"({"success":true,"data":{"name":"乙"}})"));
    host->bar->hide();
    host->bar->show();
    QVERIFY(waitForRequests(server, profilePath, 2));
    QVERIFY(waitForRequests(server, servicePath, 2));
    // The profile follows changes made on the server.
    QTRY_COMPARE(label("NameLabel"), QStringLiteral("联系人：乙"));
    const RecordingHttpServer::Request last = server.requests().last();
    QVERIFY(last.target.endsWith("?token=tk1&user=7"));

    // An answer to a profile request that somebody else sent is not the
    // side bar's.
    server.on(profilePath, RecordingHttpServer::json(R"({"success":true,"data":{"name":"丙"}})"));
    QSignalSpy answered(API::instance(), &API::signal_fetch_profile_finished);
    API::instance()->fetchProfile();
    QVERIFY(answered.wait());
    QCOMPARE(label("NameLabel"), QStringLiteral("联系人：乙"));
}

void TestSideBar::feedbackButtonReachesTheHost()
{
    server.otherwise(RecordingHttpServer::json(R"({"success":false})"));
    host->show();
    auto* button = host->bar->findChild<QToolButton*>(QStringLiteral("FeedbackButton"));
    QCOMPARE(button->text(), QStringLiteral("意见反馈"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(host->feedbackClicks, 1);
}

QTEST_MAIN(TestSideBar)
#include "tst_sidebar.moc"
