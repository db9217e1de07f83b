#pragma once
// The web addresses that the client is given: where the service is (set by the
// user or a test), where uploads go (named by the service in each batch) and
// which proxy carries them (named by the user or the system). One reader for
// all, so that a host and a port mean the same wherever they come from, and
// nothing from any of them reaches a request line unchecked.
#include <cstddef>
#include <cstdint>
#include <string>

namespace app {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;

struct WebAddress {
  bool secure = false;        // "https://"
  std::string host;           // the name alone, as the Host line carries it
  uint16_t port = kHttpPort;  // the scheme's own unless the address names one
  std::string path;           // from the "/" after the host on, as it goes into a request line
  std::string userInfo;       // a proxy's "USER[:PASSWORD]" before the "@", as written
};

// What an address is for, and so which forms it may take:
// - kService: [http:// | https://] HOST [:PORT] [/] (without a scheme: http);
// - kUpload:  http:// | https://, HOST [:PORT], then a path beginning with "/";
// - kProxy:   [http://] [USER[:PASSWORD]@] HOST [:PORT] [/]: a proxy is spoken
//   to in plain HTTP alone, and its port is 0 when the address names none
//   (where the address came from decides it).
enum class AddressUse { kService, kUpload, kProxy };

// The length of the "https://" or "http://" that `address` begins with, in
// either letter case (0 for neither); *secure tells which.
size_t webScheme(const std::string& address, bool* secure);

// Reads `text` as an address for `use` into *out. The scheme may come in either
// letter case; HOST is a name of dot-separated labels of ASCII letters, digits,
// "-" and "_" (a dotted IPv4 address is one), at most 253 characters; PORT is a
// decimal number from 1 to 65535. A path may hold no control character; the
// characters that a path may carry only encoded (a blank, "\"", "<", ">", "\\",
// "^", "`", "{", "|", "}", and a "%" that does not begin an escape) are
// percent-encoded, and every other byte stays as it is, so a well-formed address
// goes out byte for byte. False, with *out untouched, for anything else; *why
// (when given) then says what is wrong, in words for the user (a proxy's in the
// words its messages have always had).
bool parseWebAddress(const std::string& text, AddressUse use, WebAddress* out, std::string* why = nullptr);

// Appends "%XX" for the byte `c`, in upper-case digits: the one form in which
// the client writes a byte that may not stand as it is in an address or query.
void appendPercentEscape(unsigned char c, std::string* out);
// `text` with each "%XX" escape turned back into its byte; a "%" that begins
// no escape stays as it is.
std::string percentDecoded(const std::string& text);

}  // namespace app
