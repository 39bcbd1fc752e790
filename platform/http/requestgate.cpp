#include "requestgate.h"

#include "apireply.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {

namespace {

// The first line of a chunk ("1a;ext") is short; anything longer is refused.
constexpr size_t maxChunkLineBytes = 1024;

bool isTokenChar(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
        || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// Visible bytes, space, tab and bytes of multi-byte characters; no NUL, no
// CR, no other control characters.
bool isFieldText(const std::string& text, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return false;
    }
    return true;
}

bool isToken(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c != '\0' && isTokenChar(static_cast<unsigned char>(c));
    });
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::string trimmed(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

} // namespace

std::string RequestGate::hostName(const std::string& value, bool* numeric)
{
    std::string host;
    std::string port;
    *numeric = false;
    if (!value.empty() && value.front() == '[') {
        const size_t close = value.find(']');
        if (close == std::string::npos)
            return std::string();
        host = value.substr(1, close - 1);
        if (close + 1 < value.size()) {
            if (value[close + 1] != ':')
                return std::string();
            port = value.substr(close + 2);
        }
        in6_addr v6;
        if (inet_pton(AF_INET6, host.c_str(), &v6) != 1)
            return std::string();
        *numeric = true;
    } else {
        const size_t colon = value.find(':');
        host = value.substr(0, colon);
        if (colon != std::string::npos)
            port = value.substr(colon + 1);
        if (!host.empty() && host.back() == '.')
            host.pop_back();
        in_addr v4;
        *numeric = inet_pton(AF_INET, host.c_str(), &v4) == 1;
    }
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::string();
    return lowered(host);
}

namespace {

bool isDecimal(const std::string& text)
{
    // 18 digits stay well inside 64 bits.
    return !text.empty() && text.size() <= 18
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

RequestGate::RequestGate(const Settings& gateSettings)
    : settings(gateSettings)
{
}

void RequestGate::feed(const char* data, size_t size)
{
    if (refused() || size == 0)
        return;
    // A head that fills its memory gets it in one piece, not by doubling.
    if (buffer.size() + size > buffer.capacity() && buffer.size() + size > 4096)
        buffer.reserve(std::max(buffer.size() + size, settings.maxHeadBytes + 1));
    buffer.append(data, size);
    scan();
}

void RequestGate::passed(size_t count)
{
    count = std::min(count, approved);
    buffer.erase(0, count);
    approved -= count;
    scanned = scanned > count ? scanned - count : 0;
    if (buffer.empty() && buffer.capacity() > 4096)
        std::string().swap(buffer);
}

size_t RequestGate::unanswered() const
{
    const bool bodyComing = state != State::Head && !awaiting.empty();
    return awaiting.size() - (bodyComing ? 1 : 0);
}

void RequestGate::answered()
{
    if (!awaiting.empty())
        awaiting.pop_front();
}

bool RequestGate::wantsMore() const
{
    return !refused() && buffer.size() <= settings.maxHeadBytes;
}

void RequestGate::refuse(int status, const QString& message)
{
    refusal.status = status;
    refusal.message = message;
    // Nothing after the refused request goes on.
    buffer.resize(approved);
    scanned = approved;
}

void RequestGate::scan()
{
    while (!refused()) {
        const size_t available = buffer.size() - approved;
        switch (state) {
        case State::Head:
            if (!scanHead())
                return;
            break;
        case State::Length:
        case State::ChunkData: {
            const auto take = static_cast<size_t>(std::min<uint64_t>(remaining, available));
            approved += take;
            remaining -= take;
            scanned = approved;
            if (remaining > 0)
                return;
            state = state == State::Length ? State::Head : State::ChunkEnd;
            break;
        }
        case State::ChunkEnd:
            if (available < 2)
                return;
            if (buffer.compare(approved, 2, "\r\n") != 0)
                return refuse(400, QStringLiteral("请求的格式错误！"));
            approved += 2;
            scanned = approved;
            state = State::ChunkSize;
            break;
        case State::ChunkSize:
        case State::Trailer:
            if (!scanChunkLine())
                return;
            break;
        }
    }
}

bool RequestGate::scanHead()
{
    // Empty lines before a request line are skipped, as the protocol allows.
    size_t blank = approved;
    while (blank < buffer.size()
        && (buffer[blank] == '\n' || (buffer[blank] == '\r' && blank + 1 < buffer.size() && buffer[blank + 1] == '\n')))
        blank += buffer[blank] == '\n' ? 1 : 2;
    if (blank > approved) {
        buffer.erase(approved, blank - approved);
        scanned = approved;
    }
    // The head ends with an empty line; lines end with LF or CR LF.
    size_t resume = buffer.size();
    for (size_t i = std::max(scanned, approved); i < buffer.size(); ++i) {
        if (buffer[i] != '\n')
            continue;
        size_t end = 0;
        if (i + 1 < buffer.size() && buffer[i + 1] == '\n')
            end = i + 2;
        else if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n')
            end = i + 3;
        else if (i + 1 == buffer.size() || (i + 2 == buffer.size() && buffer[i + 1] == '\r')) {
            resume = i; // the rest of the empty line is still to come
            break;
        }
        if (end == 0)
            continue;
        if (end - approved > settings.maxHeadBytes) {
            refuse(431, QStringLiteral("请求头过大！"));
            return false;
        }
        checkHead(end);
        return !refused();
    }
    scanned = resume;
    if (buffer.size() - approved > settings.maxHeadBytes)
        refuse(431, QStringLiteral("请求头过大！"));
    return false;
}

void RequestGate::checkHead(size_t end)
{
    const QString malformed = QStringLiteral("请求的格式错误！");
    std::vector<std::string> lines;
    for (size_t begin = approved; begin < end;) {
        const size_t lf = buffer.find('\n', begin);
        size_t stop = lf;
        if (stop > begin && buffer[stop - 1] == '\r')
            --stop;
        lines.push_back(buffer.substr(begin, stop - begin));
        begin = lf + 1;
    }
    lines.pop_back(); // the empty line that ends the head
    if (lines.size() - 1 > settings.maxHeaders)
        return refuse(431, QStringLiteral("请求头过多！"));

    // "METHOD target HTTP/x.y", one space apart.
    const std::string& line = lines.front();
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    refusal.method = line.substr(0, first);
    refusal.target = first == std::string::npos ? std::string() : line.substr(first + 1, second - first - 1);
    if (second == std::string::npos || !isToken(refusal.method) || refusal.target.empty()
        || !isFieldText(line, first + 1, second) || refusal.target.find(' ') != std::string::npos)
        return refuse(400, malformed);
    const std::string version = line.substr(second + 1);
    const bool versionShape = version.size() == 8 && version.compare(0, 5, "HTTP/") == 0 && version[6] == '.'
        && std::isdigit(static_cast<unsigned char>(version[5])) && std::isdigit(static_cast<unsigned char>(version[7]));
    if (!versionShape)
        return refuse(400, malformed);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return refuse(505, QStringLiteral("不支持的HTTP版本！"));
    const bool http11 = version == "HTTP/1.1";

    int hosts = 0;
    int lengths = 0;
    int encodings = 0;
    std::string host;
    std::string length;
    std::string encoding;
    std::string expect;
    std::string contentType;
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::string& field = lines[n];
        const size_t colon = field.find(':');
        // No folded lines, no space before the colon, no NUL, no lone CR.
        if (colon == std::string::npos || !isToken(field.substr(0, colon))
            || !isFieldText(field, colon + 1, field.size()))
            return refuse(400, malformed);
        const std::string name = lowered(field.substr(0, colon));
        const std::string value = trimmed(field.substr(colon + 1));
        if (name == "host") {
            ++hosts;
            host = value;
        } else if (name == "content-length") {
            if (!isDecimal(value) || (lengths > 0 && std::stoull(value) != std::stoull(length)))
                return refuse(400, malformed);
            ++lengths;
            length = value;
        } else if (name == "transfer-encoding") {
            ++encodings;
            encoding = lowered(value);
        } else if (name == "expect") {
            expect = lowered(value);
        } else if (name == "content-type") {
            contentType = lowered(value);
        }
    }
    if (hosts > 1 || (http11 && hosts == 0))
        return refuse(400, malformed);
    // One way to find the body's end, and only the one this server reads.
    if (encodings > 0 && (lengths > 0 || encodings > 1 || encoding != "chunked" || !http11))
        return refuse(400, malformed);
    if (hosts == 1) {
        bool numeric = false;
        const std::string name = hostName(host, &numeric);
        const bool known = !name.empty()
            && ((numeric && settings.anyAddress)
                || std::find(settings.hosts.begin(), settings.hosts.end(), name) != settings.hosts.end());
        if (!known)
            return refuse(421, QStringLiteral("请求的主机名不属于本服务器！"));
    }
    const uint64_t bodyBytes = lengths > 0 ? std::stoull(length) : 0;
    const bool form = contentType.compare(0, 33, "application/x-www-form-urlencoded") == 0;
    if (expect == "100-continue" && bodyBytes > (form ? settings.maxFormBytes : settings.maxBodyBytes))
        return refuse(413, QStringLiteral("请求的内容过大！"));

    approved = end;
    scanned = end;
    awaiting.push_back(refusal.method == "HEAD");
    if (encodings > 0) {
        state = State::ChunkSize;
    } else if (bodyBytes > 0) {
        state = State::Length;
        remaining = bodyBytes;
    }
}

bool RequestGate::scanChunkLine()
{
    const size_t lf = buffer.find('\n', std::max(scanned, approved));
    if (lf == std::string::npos) {
        scanned = buffer.size();
        const size_t held = buffer.size() - approved;
        if (state == State::ChunkSize && held > maxChunkLineBytes)
            refuse(400, QStringLiteral("请求的格式错误！"));
        else if (state == State::Trailer && trailerBytes + held > settings.maxHeadBytes)
            refuse(431, QStringLiteral("请求头过大！"));
        return false;
    }
    // Chunk lines and trailers end with CR LF exactly.
    if (lf == approved || buffer[lf - 1] != '\r' || !isFieldText(buffer, approved, lf - 1)
        || (state == State::ChunkSize && lf - approved > maxChunkLineBytes)) {
        refuse(400, QStringLiteral("请求的格式错误！"));
        return false;
    }
    const std::string line = buffer.substr(approved, lf - 1 - approved);
    if (state == State::ChunkSize) {
        const size_t digits = line.find_first_not_of("0123456789abcdefABCDEF");
        const size_t count = digits == std::string::npos ? line.size() : digits;
        if (count == 0 || count > 15 || (digits != std::string::npos && line[digits] != ';')) {
            refuse(400, QStringLiteral("请求的格式错误！"));
            return false;
        }
        remaining = std::stoull(line.substr(0, count), nullptr, 16);
        state = remaining > 0 ? State::ChunkData : State::Trailer;
        trailerBytes = 0;
        trailerLines = 0;
    } else if (line.empty()) {
        state = State::Head;
    } else {
        const size_t colon = line.find(':');
        trailerBytes += line.size() + 2;
        if (colon == std::string::npos || !isToken(line.substr(0, colon))) {
            refuse(400, QStringLiteral("请求的格式错误！"));
            return false;
        }
        if (trailerBytes > settings.maxHeadBytes) {
            refuse(431, QStringLiteral("请求头过大！"));
            return false;
        }
        if (++trailerLines > settings.maxHeaders) {
            refuse(431, QStringLiteral("请求头过多！"));
            return false;
        }
    }
    approved = lf + 1;
    scanned = approved;
    return true;
}

std::string RequestGate::answer(int status, const QString& message)
{
    const char* reason = "Bad Request";
    switch (status) {
    case 413:
        reason = "Content Too Large";
        break;
    case 421:
        reason = "Misdirected Request";
        break;
    case 431:
        reason = "Request Header Fields Too Large";
        break;
    case 505:
        reason = "HTTP Version Not Supported";
        break;
    default:
        break;
    }
    const QByteArray body = ApiReply::refusal(message).toJson();
    return "HTTP/1.1 " + std::to_string(status) + " " + reason
        + "\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body.toStdString();
}

} // namespace platform
