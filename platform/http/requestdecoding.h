#pragma once

#include "apirequest.h"

#include <string>

namespace platform {

// Percent-decoding: "%" followed by two hexadecimal digits is that byte; any
// other "%" stays as it is. In query and form values "+" is a space; in the
// path it is a plus.
std::string percentDecode(const char* begin, const char* end, bool plusIsSpace);

// "a=1&b=2" into its pairs, decoded and appended in order; a pair without
// "=" has an empty value.
void parseParams(const std::string& text, ApiRequest::RawParams* params);

} // namespace platform
