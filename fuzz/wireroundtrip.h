#pragma once

// The voice line format's own round trip, checked by both voice targets:
// encoding a field and decoding it gives the field back, and a line that
// splits is re-made exactly, printable, from its words.

#include "wireline.h"

#include <string>
#include <vector>

namespace fuzzwire {

inline bool printable(const std::string& text)
{
    for (const char c : text) {
        if (c < ' ' || c > '~')
            return false;
    }
    return true;
}

// Calls `fail` (which does not return) with what broke.
inline void checkLine(const std::string& line, void (*fail)(const char*))
{
    std::vector<std::string> words;
    if (!voicewire::splitLine(line, words))
        return;
    const std::string made = voicewire::makeLine(words);
    std::vector<std::string> again;
    if (made.empty() || made.back() != '\n' || !printable(made.substr(0, made.size() - 1))
        || !voicewire::splitLine(made.substr(0, made.size() - 1), again) || again != words)
        fail("a line does not survive makeLine and splitLine");
    for (const std::string& word : words) {
        std::string decoded;
        if (!voicewire::decodeField(voicewire::encodeField(word), decoded) || decoded != word)
            fail("a field does not survive encodeField and decodeField");
    }
}

} // namespace fuzzwire
