#include "wireline.h"

namespace voicewire {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string encodeField(const std::string& value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '%') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0x0F]);
        }
    }
    return out;
}

bool decodeField(const std::string& field, std::string& value)
{
    value.clear();
    value.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '%') {
            value.push_back(c);
            continue;
        }
        if (i + 2 >= field.size())
            return false;
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0)
            return false;
        value.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

std::string makeLine(const std::vector<std::string>& words)
{
    std::string line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            line.push_back(' ');
        line += encodeField(words[i]);
    }
    line.push_back('\n');
    return line;
}

bool splitLine(const std::string& line, std::vector<std::string>& words)
{
    words.clear();
    std::string text = line;
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    std::size_t start = 0;
    while (true) {
        const std::size_t space = text.find(' ', start);
        const std::string field = text.substr(start, space == std::string::npos ? std::string::npos : space - start);
        std::string value;
        if (!decodeField(field, value))
            return false;
        words.push_back(value);
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    return true;
}

} // namespace voicewire
