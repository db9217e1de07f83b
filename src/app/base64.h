#pragma once
// Base64 (RFC 4648, with "=" padding): a proxy's Basic sign-in, and the text
// that the console hands a terminal's clipboard.
#include <string>

namespace app {

std::string base64(const std::string& bytes);

}  // namespace app
