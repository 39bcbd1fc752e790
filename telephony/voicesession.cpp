#include "telephony/voicesession.h"

#include "buildconfig.h"
#include "net/platformaddress.h"
#include "net/voiceaccount.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicereconnector.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>
#include <QStringList>

#include <memory>
#include <vector>

#ifndef FREYMO_INSTALL_LIBDIR
#define FREYMO_INSTALL_LIBDIR "/usr/local/lib"
#endif
#ifndef FREYMO_INSTALL_LIBDIR_RELATIVE
#define FREYMO_INSTALL_LIBDIR_RELATIVE "lib"
#endif

// The SDK's connect-error record; the client does not look into it.
struct VoiceReason;

namespace {

// The two application credentials the voice platform issued to this client.
constexpr const char* ApplicationId = "6f1c2b9e04d85a73c1e0f49b2d7a8c35";
constexpr const char* ApplicationToken = "b83e5d0a9f274c61e2d8a05f7c3b194e";

// The SDK's exported functions, as the client calls them.
using VoiceInitFn = int (*)(void** callbacks);
using VoiceLoginFn = int (*)(const char* host, int port, const char* applicationId, const char* applicationToken,
    const char* subAccount, const char* subAccountPwd, const char* voipAccount, const char* voipPwd);
using VoiceIsOnlineFn = int (*)();
using VoiceMakeCallFn = int (*)(int type, const char* number);
using VoiceReleaseCallFn = int (*)(int call);

// Positions of the callback table that the client fills.
enum CallbackPosition {
    OnConnectedPosition = 1,
    OnConnectErrorPosition = 2,
    OnCallProceedingPosition = 4,
    OnCallAlertingPosition = 5,
    OnCallAnsweredPosition = 6,
    OnMakeCallFailedPosition = 7,
    OnCallReleasedPosition = 10,
    IgnoredPosition = 12,
    OnLogInfoPosition = 13,
};

struct Sdk
{
    bool tried = false;
    QString forcedPath;
    std::unique_ptr<QLibrary> library;
    // Libraries set aside by setLibraryForTesting(); kept mapped for good.
    std::vector<std::unique_ptr<QLibrary>> retired;
    VoiceInitFn init = nullptr;
    VoiceLoginFn login = nullptr;
    VoiceIsOnlineFn isOnline = nullptr;
    VoiceMakeCallFn makeCall = nullptr;
    VoiceReleaseCallFn releaseCall = nullptr;
    QByteArray testHost;
    int testPort = 0;
};

// Used from the GUI thread only.
Sdk& sdk()
{
    static Sdk instance;
    return instance;
}

QStringList candidatePaths()
{
    const QString name = QStringLiteral("libVoiceSdk");
    QStringList paths;
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        paths << QDir(appDir).filePath(name);
        paths << QDir::cleanPath(
            appDir + QStringLiteral("/../") + QStringLiteral(FREYMO_INSTALL_LIBDIR_RELATIVE) + QLatin1Char('/') + name);
    }
    paths << QDir(QStringLiteral(FREYMO_INSTALL_LIBDIR)).filePath(name);
    paths << QStringLiteral("VoiceSdk"); // the dynamic linker's own search
    paths.removeDuplicates();
    return paths;
}

template <typename Fn> Fn resolve(QLibrary& library, const char* symbol)
{
    return reinterpret_cast<Fn>(library.resolve(symbol));
}

bool tryLoad(Sdk& s, const QString& path)
{
    auto library = std::make_unique<QLibrary>(path);
    if (!library->load()) {
        qDebug().noquote() << "voice SDK not loaded from" << path << ":" << library->errorString();
        return false;
    }
    s.init = resolve<VoiceInitFn>(*library, "voiceInit");
    s.login = resolve<VoiceLoginFn>(*library, "voiceLogin");
    s.isOnline = resolve<VoiceIsOnlineFn>(*library, "voiceIsOnline");
    s.makeCall = resolve<VoiceMakeCallFn>(*library, "voiceMakeCall");
    s.releaseCall = resolve<VoiceReleaseCallFn>(*library, "voiceReleaseCall");
    if (!s.init || !s.login || !s.isOnline || !s.makeCall || !s.releaseCall) {
        qDebug().noquote() << "voice SDK" << library->fileName() << "lacks a function; voice stays offline";
        s.init = nullptr;
        s.login = nullptr;
        s.isOnline = nullptr;
        s.makeCall = nullptr;
        s.releaseCall = nullptr;
        // Not unloaded: nothing of it has run, but unloading buys nothing either.
        return false;
    }
    qDebug().noquote() << "voice SDK loaded from" << library->fileName();
    // Never unloaded: the SDK's thread may call into the callback table for as
    // long as the process lives.
    s.library = std::move(library);
    return true;
}

// Loads the library on first use; afterwards answers from memory.
Sdk* loaded()
{
    Sdk& s = sdk();
    if (!s.tried) {
        s.tried = true;
        const QStringList paths = s.forcedPath.isEmpty() ? candidatePaths() : QStringList { s.forcedPath };
        for (const QString& path : paths) {
            if (tryLoad(s, path))
                break;
        }
    }
    return s.init ? &s : nullptr;
}

// The main window's callbacks: each writes one debug line and nothing else.
// They may run on the SDK's thread.
// Both also tell the reconnector, which signs in again after a loss.
void onConnected()
{
    qDebug().noquote() << QStringLiteral("连接服务器成功！");
    VoiceReconnector::post(true);
}

void onConnectError(VoiceReason* /*reason*/)
{
    qDebug().noquote() << QStringLiteral("连接服务器失败！");
    VoiceReconnector::post(false);
}

void onCallAlerting(const char* /*callId*/)
{
    qDebug().noquote() << QStringLiteral("来电...");
}

void onLogInfo(const char* text)
{
    qDebug().noquote() << QString::fromUtf8(text ? text : "");
}

// Position 12: the SDK's heartbeat, of no interest to the client.
void ignoreHeartbeat() { }

template <typename Fn> void put(void** table, int position, Fn function)
{
    table[position] = reinterpret_cast<void*>(function);
}

} // namespace

namespace VoiceSession {

void fillCallbacks(void** table)
{
    put(table, OnConnectedPosition, &onConnected);
    put(table, OnConnectErrorPosition, &onConnectError);
    put(table, OnCallAlertingPosition, &onCallAlerting);
    put(table, OnCallProceedingPosition, &TelNumberWidget::onCallProceeding);
    put(table, OnCallAnsweredPosition, &TelNumberWidget::onCallAnswered);
    put(table, OnMakeCallFailedPosition, &TelNumberWidget::onMakeCallFailed);
    put(table, OnCallReleasedPosition, &TelNumberWidget::onCallReleased);
    put(table, IgnoredPosition, &ignoreHeartbeat);
    put(table, OnLogInfoPosition, &onLogInfo);
}

bool start(void** table, const VoiceAccount& account)
{
    Sdk* s = loaded();
    if (!s) {
        qDebug().noquote() << "voice SDK unavailable; the voice session stays offline";
        return false;
    }
    const int initResult = s->init(table);
    qDebug() << "0.====================" << initResult;

    const QByteArray subAccount = account.subAccount.toUtf8();
    const QByteArray subAccountPwd = account.subAccountPwd.toUtf8();
    const QByteArray voipAccount = account.voipAccount.toUtf8();
    const QByteArray voipPwd = account.voipPwd.toUtf8();
    const QByteArray host = s->testHost.isEmpty() ? PlatformAddress::voiceHost().toUtf8() : s->testHost;
    const int port = s->testPort > 0 ? s->testPort : PlatformAddress::voicePort();

    const auto signIn = [=] {
        Sdk* sdk = loaded();
        if (!sdk)
            return -1;
        return sdk->login(host.constData(), port, ApplicationId, ApplicationToken, subAccount.constData(),
            subAccountPwd.constData(), voipAccount.constData(), voipPwd.constData());
    };
    // Before the sign-in, so that its report finds the way to sign in again.
    VoiceReconnector::instance()->watch([signIn] { qDebug() << "voice sign-in again:" << signIn(); });
    const int loginResult = signIn();
    qDebug() << "1.====================" << loginResult;
    return true;
}

bool isOnline()
{
    Sdk* s = loaded();
    return s && s->isOnline() != 0;
}

void makeCall(const QByteArray& latin1Number)
{
    if (Sdk* s = loaded())
        s->makeCall(1, latin1Number.constData());
}

void releaseCall()
{
    if (Sdk* s = loaded())
        s->releaseCall(0);
}

bool isLoaded()
{
    return loaded() != nullptr;
}

void setServerForTesting(const QByteArray& host, int port)
{
    sdk().testHost = host;
    sdk().testPort = port;
}

void setLibraryForTesting(const QString& path)
{
    Sdk& s = sdk();
    s.forcedPath = path;
    s.tried = false;
    s.init = nullptr;
    s.login = nullptr;
    s.isOnline = nullptr;
    s.makeCall = nullptr;
    s.releaseCall = nullptr;
    // The library stays mapped: a QLibrary unloads only on unload(), and the
    // SDK's thread may still run.
    if (s.library)
        s.retired.push_back(std::move(s.library));
}

} // namespace VoiceSession
