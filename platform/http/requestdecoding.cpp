#include "requestdecoding.h"

#include <algorithm>

namespace platform {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string percentDecode(const char* begin, const char* end, bool plusIsSpace)
{
    std::string text;
    text.reserve(static_cast<size_t>(end - begin));
    for (const char* p = begin; p < end; ++p) {
        if (*p == '%' && end - p >= 3 && hexDigit(p[1]) >= 0 && hexDigit(p[2]) >= 0) {
            text += static_cast<char>(hexDigit(p[1]) * 16 + hexDigit(p[2]));
            p += 2;
        } else if (*p == '+' && plusIsSpace) {
            text += ' ';
        } else {
            text += *p;
        }
    }
    return text;
}

void parseParams(const std::string& text, ApiRequest::RawParams* params)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* pairEnd = std::find(p, end, '&');
        if (pairEnd != p) {
            const char* equals = std::find(p, pairEnd, '=');
            params->append({ QByteArray::fromStdString(percentDecode(p, equals, true)),
                QByteArray::fromStdString(percentDecode(equals == pairEnd ? pairEnd : equals + 1, pairEnd, true)) });
        }
        p = pairEnd + (pairEnd < end ? 1 : 0);
    }
}

} // namespace platform
