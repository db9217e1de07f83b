#pragma once
// Inside TlsStream: the system's TLS library, working on memory only. The
// stream (tls.cpp) owns the socket, the time limits and the record framing, and
// hands the engine whole records; tls_posix.cpp and tls_win32.cpp make one.
#include <memory>
#include <string>
#include <vector>

#include "platform/tls.h"

namespace platform {
namespace tls_detail {

enum class Step {
  kDone,    // handshake: complete and the certificate passed every check
  kMore,    // everything given was used; more records are needed
  kClosed,  // the server's closing alert
  kFailed,  // failure and detail say why
};

class TlsEngine {
 public:
  virtual ~TlsEngine() = default;

  // Prepares the client handshake for `host`, trusting exactly `roots` (DER
  // certificates), or the system's roots when there are none. False when the
  // library cannot be set up.
  virtual bool setUp(const std::string& host, const std::vector<std::string>& roots) = 0;

  // Feeds whole records (none at the start), appends what must go to the
  // server to *out, and sets *used to the bytes consumed (records after the
  // handshake stay for decrypt()).
  virtual Step handshake(char* in, size_t size, size_t* used, std::string* out) = 0;
  // Consumes whole records (decrypted in place where the library wants that),
  // appending the plaintext to *plain and any answer to *out.
  virtual Step decrypt(char* in, size_t size, std::string* plain, std::string* out) = 0;
  // At most one record's worth of bytes (kRecordBytes) into *out.
  virtual bool encrypt(const char* data, size_t size, std::string* out) = 0;
  virtual void closeNotify(std::string* out) = 0;

  TlsFailure failure = TlsFailure::kNone;
  std::string detail;  // the library's own words, when it has some

 protected:
  Step failed(TlsFailure why, const std::string& words) {
    failure = why;
    detail = words;
    return Step::kFailed;
  }
};

// The most plaintext one record carries.
constexpr size_t kRecordBytes = 16384;

// The system's words for an error without the line ends and full stop of its own.
std::string trimmed(std::string text);

// The system's engine, not yet set up.
std::unique_ptr<TlsEngine> newTlsEngine();

}  // namespace tls_detail
}  // namespace platform
