// The real freymo executable, started headless: it shows the login dialog,
// and nothing else, without loading what only later screens need, and ends
// with status 255 (exit -1) when that dialog is closed.
//
// The program reads no command line and no environment, so nothing inside it
// can be told to close its dialog. It runs instead on a private virtual X
// display (Xvfb), where the test finds the dialog by its title and closes it
// the way a window manager does, with a WM_DELETE_WINDOW message.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QString windowTitle(xcb_connection_t* connection, xcb_window_t window)
{
    const xcb_atom_t netName = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, netName, utf8, 0, 256), nullptr));
    if (!reply)
        return QString();
    return QString::fromUtf8(
        static_cast<const char*>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get()));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void showsTheLoginDialogAndEndsWith255WhenItIsClosed();

private:
    // The titles of the top-level windows now viewable on the display.
    QMap<xcb_window_t, QString> viewableWindows() const;

    QProcess xvfb;
    QByteArray display;
    xcb_connection_t* connection = nullptr;
};

void TestStartup::initTestCase()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!server.isEmpty(), "Xvfb is not installed (scripts/common.sh installs it)");
    // -displayfd: the server takes the first free display and writes its number.
    xvfb.start(server,
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
            QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24") });
    QVERIFY2(xvfb.waitForStarted(), qPrintable(xvfb.errorString()));
    QVERIFY2(QTest::qWaitFor([this] { return xvfb.canReadLine() || xvfb.state() != QProcess::Running; }, 30000),
        "Xvfb named no display");
    display = ':' + xvfb.readLine().trimmed();
    QVERIFY2(display.size() > 1, xvfb.readAllStandardError().constData());

    connection = xcb_connect(display.constData(), nullptr);
    QVERIFY(connection);
    QVERIFY2(!xcb_connection_has_error(connection), display.constData());
}

void TestStartup::cleanupTestCase()
{
    if (connection)
        xcb_disconnect(connection);
    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(10000))
            xvfb.kill();
    }
}

QMap<xcb_window_t, QString> TestStartup::viewableWindows() const
{
    QMap<xcb_window_t, QString> windows;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, children[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            windows.insert(children[i], windowTitle(connection, children[i]));
    }
    return windows;
}

void TestStartup::showsTheLoginDialogAndEndsWith255WhenItIsClosed()
{
    // account.dat is read from the working folder.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    // A session bus that is not there, so that none is launched: with no
    // address at all, D-Bus forks a launcher from the client's D-Bus thread
    // while the start-up's other threads allocate, and in the sanitized
    // build that child can wait forever for an allocator lock held at the
    // fork, and the client for it.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
        QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("no-bus")));
    client.setProcessEnvironment(environment);
    client.setWorkingDirectory(folder.path());
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    QSignalSpy finished(&client, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    client.start(QStringLiteral(FREYMO_EXECUTABLE), QStringList());
    QVERIFY2(client.waitForStarted(), qPrintable(client.errorString()));

    const QString loginTitle = QStringLiteral("登录Freymo");
    QMap<xcb_window_t, QString> shown;
    // A generous bound for a sanitized build on a busy machine.
    const bool settled = QTest::qWaitFor(
        [&] {
            shown = viewableWindows();
            return shown.values().contains(loginTitle) || client.state() != QProcess::Running;
        },
        60000);
    QVERIFY2(settled, "no window appeared");
    // The login dialog, and not the main window, which waits for a login.
    QCOMPARE(shown.values(), QStringList { loginTitle });
    QCOMPARE(client.state(), QProcess::Running);

    // What the dialog does not need is not loaded for it: nothing the client
    // shows is drawn with OpenGL (the vendor library behind libGL and its DRI
    // module cost a third of the start-up), spreadsheets are written only on
    // an export and barcodes only on printed documents. (The image plugins
    // are not looked at: the main window, built right after the dialog's
    // first paint, may have read its pictures by now.)
    QFile maps(QStringLiteral("/proc/%1/maps").arg(client.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    for (const char* library : { "libGLX_", "_dri.so", "libxlsxwriter", "libzint" })
        QVERIFY2(!mapped.contains(library), library);

    const xcb_window_t dialog = shown.firstKey();
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = dialog;
    message.type = atom(connection, "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, dialog, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
    xcb_flush(connection);

    QVERIFY(finished.wait(60000) || !finished.isEmpty());
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 255);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
