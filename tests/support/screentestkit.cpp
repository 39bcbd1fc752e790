#include "support/screentestkit.h"

#include "support/messageboxanswerer.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include "net/api.h"
#include "net/basehttp.h"

#include <QAbstractButton>
#include <QTest>
#include <QWidget>

ScreenTestKit::ScreenTestKit() = default;

ScreenTestKit::~ScreenTestKit()
{
    delete boxes;
}

void ScreenTestKit::initSuite()
{
    initClientTestEnvironment();
    QVERIFY(signInForTesting(server));
    server.otherwise(RecordingHttpServer::json(R"({"success":true,"data":{}})"));
}

void ScreenTestKit::initTest()
{
    server.clearRequests();
    server.closeGates();
    BaseHttp::setBaseAddressForTesting(server.apiBase());
    delete boxes;
    boxes = new MessageBoxAnswerer;
}

void ScreenTestKit::cleanupTest()
{
    MessageBoxAnswerer::closeAllModals();
    const QStringList unexpected = boxes ? boxes->unexpected() : QStringList();
    const int unanswered = boxes ? boxes->pending() : 0;
    delete boxes;
    boxes = nullptr;
    server.releaseWaiting();
    const bool idle = waitForIdle();
    QObject::disconnect(API::instance(), nullptr, nullptr, nullptr);
    QVERIFY2(unexpected.isEmpty(), qPrintable(QStringLiteral("boxes nobody expected: ") + unexpected.join(QLatin1Char('\n'))));
    QVERIFY2(unanswered == 0, "an expected message box never came");
    QVERIFY2(idle, "a reply was still in flight at the end of the test");
}

void ScreenTestKit::typeText(QWidget* target, const QString& text)
{
    target->setFocus(Qt::OtherFocusReason);
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\n'))
            QTest::keyClick(target, Qt::Key_Return);
        else if (ch == QLatin1Char('\t'))
            QTest::keyClick(target, Qt::Key_Tab);
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

QAbstractButton* ScreenTestKit::buttonWithText(const QWidget* root, const QString& text)
{
    const QList<QAbstractButton*> buttons = root->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

bool ScreenTestKit::clickButton(const QWidget* root, const QString& text)
{
    QAbstractButton* button = buttonWithText(root, text);
    if (!button) {
        QTest::qFail(qPrintable(QStringLiteral("no button reads ") + text), __FILE__, __LINE__);
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

QList<RecordingHttpServer::Request> ScreenTestKit::requestsTo(const QByteArray& path) const
{
    QList<RecordingHttpServer::Request> matching;
    for (const RecordingHttpServer::Request& r : server.requests()) {
        if (r.path == path)
            matching << r;
    }
    return matching;
}

bool ScreenTestKit::waitForRequests(const QByteArray& path, int count, int ms) const
{
    return ::waitForRequests(server, path, count, ms);
}

bool ScreenTestKit::waitForIdle(int ms)
{
    return QTest::qWaitFor([] { return API::instance()->requestsInFlight() == 0; }, ms);
}
