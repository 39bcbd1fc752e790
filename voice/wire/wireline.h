#pragma once

#include <string>
#include <vector>

// The line format shared by the voice SDK and the voice switch (PROTOCOL.md):
// a line is a command word and fields separated by single spaces, ended by LF.
// Fields are percent-encoded so that every line is printable ASCII.
namespace voicewire {

// Longest line either side accepts, without its LF.
constexpr std::size_t MaxLineLength = 1024;

// Every byte outside '!'..'~', and '%' itself, becomes %XX (upper-case hex).
std::string encodeField(const std::string& value);

// The inverse of encodeField(); false for a malformed escape.
bool decodeField(const std::string& field, std::string& value);

// The words joined by single spaces, each encoded, followed by "\n".
std::string makeLine(const std::vector<std::string>& words);

// Splits a line (without its LF; a trailing CR is dropped) at every single
// space and decodes each field. False when a field is malformed. Consecutive
// spaces give empty fields.
bool splitLine(const std::string& line, std::vector<std::string>& words);

} // namespace voicewire
