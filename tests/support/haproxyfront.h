#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PlatformProcess;

// HAProxy with the configuration the project ships as an example
// (dist/haproxy/freymo-platform.cfg), for the suites that run the platform
// behind one address. Only the addresses change: the listening ports become
// free ports of 127.0.0.1, and the servers platformN and switchN the HTTP
// and voice ports of the N-th platform given; every other line is the
// example's own. The platforms must take the PROXY protocol from 127.0.0.1.
class HaproxyFront
{
public:
    HaproxyFront() = default;
    // Stops HAProxy.
    ~HaproxyFront();

    HaproxyFront(const HaproxyFront&) = delete;
    HaproxyFront& operator=(const HaproxyFront&) = delete;

    // Why HAProxy cannot run here (empty when it can).
    static QString missing();

    // Starts HAProxy in front of `platforms` (running) and waits until its
    // ports take connections. False with `error` set otherwise.
    bool start(const QList<const PlatformProcess*>& platforms, QString* error);

    // "http://127.0.0.1:<port>/api", as the desks see the platform.
    QString apiBase() const;
    int voicePort() const { return voice; }
    QByteArray output();

private:
    QTemporaryDir folder;
    QProcess process;
    int http = 0;
    int voice = 0;
};
