#pragma once
// Just enough JSON output for the console's --json forms.
#include <string>

namespace console {

// A JSON string literal, quotes included. Valid UTF-8 passes as it is; each byte
// that is not part of valid UTF-8 (a file name on Linux may hold any bytes)
// becomes U+FFFD, written "\ufffd", so that the output always parses.
std::string jsonString(const std::string& text);

}  // namespace console
