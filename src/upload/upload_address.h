#pragma once
// The upload address that the service names, taken apart for the upload.
#include <string>

namespace upload {

struct UploadTarget {
  std::string host;     // the host name alone, as the request's Host line carries it
  int port = 80;        // 443 for "https://" unless the address names one
  bool secure = false;  // the address begins with "https://" (either letter case)
  std::string path;     // from the "/" after the host to the end
};

// Splits "scheme://host[:port]/path"; "https://" makes the target secure. The
// host starts behind the first "//" (the two characters after the first "/") and
// ends before the next "/"; the path is the rest, its "/" included. False for an
// address without "//" after its first "/", without a "/" after the host, with
// an empty host, or with a port that is not a number from 1 to 65535.
bool splitUploadAddress(const std::string& address, UploadTarget* out);

}  // namespace upload
