#include "haproxyfront.h"

#include "platformprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QString program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("haproxy"));
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("haproxy"), { QStringLiteral("/usr/sbin") })
                           : found;
}

bool listening(int port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return probe.waitForConnected(1000);
}

} // namespace

HaproxyFront::~HaproxyFront()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
    }
}

QString HaproxyFront::missing()
{
    return program().isEmpty() ? QStringLiteral("HAProxy is not installed (Debian package haproxy)") : QString();
}

QString HaproxyFront::apiBase() const
{
    return QStringLiteral("http://127.0.0.1:%1/api").arg(http);
}

QByteArray HaproxyFront::output()
{
    return process.readAll();
}

bool HaproxyFront::start(const QList<const PlatformProcess*>& platforms, QString* error)
{
    QFile example(QStringLiteral(FREYMO_HAPROXY_EXAMPLE));
    if (!example.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(example.fileName());
        return false;
    }
    http = freePort();
    voice = freePort();
    // Each line that names an address, and what it becomes.
    const QRegularExpression bind(QStringLiteral("^(\\s*bind\\s+):(8765|8883)\\b"));
    const QRegularExpression server(QStringLiteral("^(\\s*server\\s+(platform|switch)(\\d+)\\s+)\\S+"));
    QStringList lines;
    int rewritten = 0;
    for (const QString& line : QString::fromUtf8(example.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch bound = bind.match(line);
        const QRegularExpressionMatch served = server.match(line);
        if (bound.hasMatch()) {
            const int port = bound.captured(2) == QLatin1String("8765") ? http : voice;
            lines << bound.captured(1) + QStringLiteral("127.0.0.1:") + QString::number(port)
                    + line.mid(bound.capturedEnd());
            ++rewritten;
        } else if (served.hasMatch()) {
            const PlatformProcess* platform = platforms.value(served.captured(3).toInt() - 1);
            if (!platform) {
                *error = QStringLiteral("the example names more servers than there are platforms: %1").arg(line);
                return false;
            }
            const int port
                = served.captured(2) == QLatin1String("platform") ? platform->httpPort() : platform->voicePort();
            lines << served.captured(1) + QStringLiteral("127.0.0.1:") + QString::number(port)
                    + line.mid(served.capturedEnd());
            ++rewritten;
        } else if (!line.trimmed().startsWith(QLatin1String("log /dev/log"))) {
            // No system log here: the lines go nowhere.
            lines << line;
        }
    }
    if (rewritten < 4) {
        *error = QStringLiteral("the example has no listening ports or servers to point at the platforms");
        return false;
    }
    const QString config = folder.filePath(QStringLiteral("haproxy.cfg"));
    QFile written(config);
    if (!written.open(QIODevice::WriteOnly) || written.write(lines.join(QLatin1Char('\n')).toUtf8()) < 0) {
        *error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    written.close();

    process.setProcessChannelMode(QProcess::MergedChannels);
    // -db: in the foreground, ended by SIGTERM.
    process.start(program(), { QStringLiteral("-db"), QStringLiteral("-f"), config });
    const bool up = QTest::qWaitFor(
        [&] { return process.state() == QProcess::NotRunning || (listening(http) && listening(voice)); }, 20000);
    if (!up || process.state() == QProcess::NotRunning) {
        *error = QStringLiteral("HAProxy did not come up:\n") + QString::fromUtf8(process.readAll());
        return false;
    }
    return true;
}
