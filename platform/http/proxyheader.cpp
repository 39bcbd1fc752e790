#include "proxyheader.h"

#include "connectionfront.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <vector>

namespace platform {

namespace {

bool isPort(const std::string& text)
{
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0'))
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return std::stoul(text) <= 65535;
}

} // namespace

ProxyHeader::Result ProxyHeader::parse(
    const char* data, size_t size, size_t* length, sockaddr_storage* client, bool* known)
{
    static const char signature[] = "PROXY ";
    const size_t compared = std::min(size, sizeof signature - 1);
    if (std::memcmp(data, signature, compared) != 0)
        return Result::Bad;
    const void* lf = std::memchr(data, '\n', std::min(size, maxLength));
    if (!lf)
        return size >= maxLength ? Result::Bad : Result::Incomplete;
    const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - data);
    if (end == 0 || data[end - 1] != '\r')
        return Result::Bad;
    *length = end + 1;

    // Single spaces between the words; nothing but printable ASCII.
    std::vector<std::string> words(1);
    for (size_t i = sizeof signature - 1; i + 1 < end; ++i) {
        const char c = data[i];
        if (c == ' ')
            words.emplace_back();
        else if (c > ' ' && c < 0x7f)
            words.back() += c;
        else
            return Result::Bad;
    }
    if (words.front() == "UNKNOWN") {
        *known = false;
        return Result::Done;
    }
    for (const std::string& word : words) {
        if (word.empty())
            return Result::Bad;
    }
    if (words.size() != 5 || !isPort(words[3]) || !isPort(words[4]))
        return Result::Bad;
    *client = sockaddr_storage {};
    if (words[0] == "TCP4") {
        sockaddr_in v4 {};
        in_addr destination {};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(std::stoul(words[3])));
        if (inet_pton(AF_INET, words[1].c_str(), &v4.sin_addr) != 1
            || inet_pton(AF_INET, words[2].c_str(), &destination) != 1)
            return Result::Bad;
        std::memcpy(client, &v4, sizeof v4);
    } else if (words[0] == "TCP6") {
        sockaddr_in6 v6 {};
        in6_addr destination {};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(std::stoul(words[3])));
        if (inet_pton(AF_INET6, words[1].c_str(), &v6.sin6_addr) != 1
            || inet_pton(AF_INET6, words[2].c_str(), &destination) != 1)
            return Result::Bad;
        std::memcpy(client, &v6, sizeof v6);
    } else {
        return Result::Bad;
    }
    *known = true;
    return Result::Done;
}

bool ProxyHeader::clientOfLine(const std::string& line, std::string* client)
{
    const std::string framed = line + '\n';
    size_t length = 0;
    sockaddr_storage address {};
    bool known = false;
    if (parse(framed.data(), framed.size(), &length, &address, &known) != Result::Done || length != framed.size())
        return false;
    *client = known ? ConnectionFront::addressText(reinterpret_cast<const sockaddr*>(&address)) : std::string();
    return true;
}

} // namespace platform
