#pragma once

#include <QString>

#include <cstdarg>
#include <functional>
#include <string>

namespace platform {

// Where the server's lines go: one line per request (method, path without the
// query, status, time taken), the HTTP library's errors and the router's.
// Each line is in printable characters only, whoever wrote it. The sink is set before serving
// and is called from the server's threads; by default it writes to standard
// error.
class ServerLog
{
public:
    using Sink = std::function<void(const QString&)>;

    ServerLog();

    void setSink(Sink sink);
    void write(const QString& line) const;
    // One request's line. An empty method or path shows as "-", and so does
    // a status of 0 (nothing was answered).
    void request(const std::string& method, const std::string& path, int status, double ms) const;

    // The library's external logger (MHD_OPTION_EXTERNAL_LOGGER), with the
    // log as `cls`.
    static void onLibraryError(void* cls, const char* format, va_list arguments);

    // Text as it may go into one line: printable (a decoded "%0A" must not
    // start a forged line, an escape sequence must not reach a terminal, see
    // printableText()) and not longer than 200 characters.
    static QString printable(const std::string& text);

private:
    Sink sink;
};

} // namespace platform
