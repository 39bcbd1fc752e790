#pragma once

#include "support/recordinghttpserver.h"

#include <QByteArray>
#include <QList>
#include <QString>

class MessageBoxAnswerer;
class QAbstractButton;
class QWidget;

// What every screen suite needs: a recording server with the API signed in
// to it, message boxes answered in order (a box nobody expected fails the
// test), and a clean API between tests. A suite holds one as a member and
// calls initSuite() from initTestCase(), initTest() from init() and
// cleanupTest() from cleanup(); they report failures through QTest.
class ScreenTestKit
{
public:
    ScreenTestKit();
    ~ScreenTestKit();

    // Registers the resources, sets the program's look, signs the API in and
    // answers every path that a test does not script with an empty success.
    void initSuite();
    // Forgets earlier requests and starts a fresh message box answerer.
    void initTest();
    // Closes modals left open, fails on boxes nobody expected, waits until no
    // reply is in flight and disconnects every receiver of the API's signals,
    // so that no test sees another's connections.
    void cleanupTest();

    // Types `text` into `target` one character at a time, Chinese included,
    // as a keyboard would ("\n" presses Return, "\t" Tab).
    static void typeText(QWidget* target, const QString& text);
    // The button below `root` that reads `text`; null when there is none.
    static QAbstractButton* buttonWithText(const QWidget* root, const QString& text);
    // Clicks the button below `root` that reads `text`; fails when none does.
    static bool clickButton(const QWidget* root, const QString& text);

    // The requests for `path` (without the query), in the order they came.
    QList<RecordingHttpServer::Request> requestsTo(const QByteArray& path) const;
    // Waits until `count` requests for `path` have come.
    bool waitForRequests(const QByteArray& path, int count = 1, int ms = 5000) const;
    // Waits until every request the API sent has been answered.
    static bool waitForIdle(int ms = 5000);

    RecordingHttpServer server;
    MessageBoxAnswerer* boxes = nullptr;
};
