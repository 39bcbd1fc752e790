#include "serverlog.h"

#include "printabletext.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace platform {

ServerLog::ServerLog()
    : sink([](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    })
{
}

void ServerLog::setSink(Sink newSink)
{
    sink = std::move(newSink);
}

void ServerLog::write(const QString& line) const
{
    // Whoever made the line (the router's errors quote a request's path),
    // it goes out in printable characters only.
    if (sink)
        sink(printableText(line));
}

void ServerLog::request(const std::string& method, const std::string& path, int status, double ms) const
{
    write(QStringLiteral("%1 %2 %3 %4 ms")
              .arg(printable(method.empty() ? std::string("-") : method),
                  printable(path.empty() ? std::string("-") : path),
                  status > 0 ? QString::number(status) : QStringLiteral("-"), QString::number(ms, 'f', 2)));
}

void ServerLog::onLibraryError(void* cls, const char* format, va_list arguments)
{
    // The library's connections are local socket pairs, which have no TCP
    // options to set and no segments to push: it says so on every answer,
    // and that is no news.
    const auto startsWith
        = [format](const char* prefix) { return format && strncasecmp(format, prefix, std::strlen(prefix)) == 0; };
    if (startsWith("Setting %s option") || startsWith("Failed to push the data"))
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    const QString line = QString::fromLocal8Bit(text).trimmed();
    static_cast<const ServerLog*>(cls)->write(QStringLiteral("http: %1").arg(printable(line.toStdString())));
}

QString ServerLog::printable(const std::string& raw)
{
    const QString text
        = printableText(QString::fromUtf8(raw.data(), static_cast<int>(std::min<size_t>(raw.size(), 400))));
    return text.size() > 200 ? text.left(200) + QStringLiteral("...") : text;
}

} // namespace platform
