#pragma once
// Just enough JSON output for the console's --json forms.
#include <string>

namespace console {

// A JSON string literal, quotes included. Bytes are passed through as they are
// (the client's texts are UTF-8 on the systems the console runs on).
std::string jsonString(const std::string& text);

}  // namespace console
