#include "platform/tls.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/tls_engine.h"

namespace platform {
namespace {

using tls_detail::kRecordBytes;
using tls_detail::Step;
using tls_detail::trimmed;

// The most that a CA file, or the server's part of a handshake, may hold.
constexpr size_t kInputLimit = 1 << 20;
// The longest record a server may send: a full record plus the most that
// compression or padding can add.
constexpr size_t kLongestRecord = kRecordBytes + 2048;
constexpr size_t kHeaderBytes = 5;
constexpr int kReadBytes = 64 * 1024;
// Ciphertext goes out in sends of at least this much: one send per record costs
// two thirds of the throughput on Windows.
constexpr size_t kGatherBytes = 64 * 1024;
// send() takes nothing more while this much still waits for the socket.
constexpr size_t kBacklogBytes = 256 * 1024;

const char* reasonText(TlsFailure why) {
  switch (why) {
    case TlsFailure::kNone: break;
    case TlsFailure::kUntrusted: return "the server's certificate is not from a trusted authority";
    case TlsFailure::kWrongHost: return "the server's certificate is made out to another host name";
    case TlsFailure::kExpired: return "the server's certificate has expired or is not yet valid";
    case TlsFailure::kBadCertificate: return "the server's certificate was refused";
    case TlsFailure::kCaFile: return "the CA file cannot be used";
    case TlsFailure::kNotTls: return "the server does not speak TLS on this port";
    case TlsFailure::kTimeout: return "the TLS handshake did not finish in time";
    case TlsFailure::kEnded: return "the connection ended in the middle of the TLS exchange";
    case TlsFailure::kProtocol: return "the TLS exchange failed";
    case TlsFailure::kSocket: return "the connection failed";
  }
  return "";
}

// What a text would look like on a terminal, for error messages.
std::string printable(std::string text) {
  for (char& c : text) {
    if (c < 32 || c > 126) c = '.';
  }
  return text;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The DER bytes of every CERTIFICATE block of a PEM text; other blocks and the
// text around them are skipped. False when a block is damaged.
bool pemCertificates(const std::string& text, std::vector<std::string>* der) {
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at)) {
    const size_t end = text.find(kEnd, at);
    if (end == std::string::npos) return false;
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (size_t i = at + kBegin.size(); i < end && text[i] != '='; ++i) {
      if (std::strchr(" \t\r\n", text[i])) continue;
      const int v = base64Value(text[i]);
      if (v < 0) return false;
      bits = (bits << 6) | uint32_t(v);
      count += 6;
      if (count >= 8) {
        count -= 8;
        bytes += char((bits >> count) & 0xFF);
      }
    }
    if (bytes.empty()) return false;
    der->push_back(bytes);
    at = end + kEnd.size();
  }
  return true;
}

}  // namespace

namespace tls_detail {

std::string trimmed(std::string text) {
  while (!text.empty() && std::strchr("\r\n .", text.back())) text.pop_back();
  return text;
}

}  // namespace tls_detail

TlsStream::TlsStream() = default;
TlsStream::~TlsStream() = default;

bool TlsStream::fail(TlsFailure why, const std::string& detail) {
  wouldBlock_ = false;
  if (failure_ == TlsFailure::kNone) {
    failure_ = why;
    errorText_ = "Secure connection to " + host_ + " failed: " + reasonText(why);
    if (!detail.empty()) errorText_ += " (" + detail + ")";
    errorText_ += ".";
  }
  return false;
}

int TlsStream::notNow() {
  wouldBlock_ = true;
  return -1;
}

bool TlsStream::handshake(SocketHandle s, const std::string& host, const std::string& caFile, uint32_t timeoutMs) {
  socket_ = s;
  host_ = host;
  if (!setUp(caFile) || !exchangeHandshake(timeoutMs)) return false;
  connected_ = true;
  return true;
}

bool TlsStream::setUp(const std::string& caFile) {
  // OpenSSL would check nothing for an empty name, or for the part before a NUL.
  if (host_.empty() || host_.find('\0') != std::string::npos) {
    return fail(TlsFailure::kWrongHost, "no host name to check");
  }
  std::vector<std::string> roots;
  if (!caFile.empty()) {
    std::string text;
    bool tooLarge = false;
    if (!readWholeFile(caFile, kInputLimit, &text, &tooLarge)) {
      return fail(TlsFailure::kCaFile,
                  caFile + ": " + (tooLarge ? "larger than 1 MiB" : trimmed(osErrorText(lastOsError()))));
    }
    if (!pemCertificates(text, &roots) || roots.empty()) {
      return fail(TlsFailure::kCaFile, caFile + ": no readable certificate in it");
    }
  }
  engine_ = tls_detail::newTlsEngine();
  if (!engine_->setUp(host_, roots)) return fail(engine_->failure, engine_->detail);
  if (!setNonBlocking(socket_, true)) return fail(TlsFailure::kSocket, lastSocketErrorText());
  return true;
}

bool TlsStream::exchangeHandshake(uint32_t timeoutMs) {
  const uint32_t start = tickCount();
  size_t used = 0;
  Step step = engine_->handshake(nullptr, 0, &used, &out_);
  for (;;) {
    if (step == Step::kFailed) {
      push();  // the alert that tells the server why, if it fits
      return fail(engine_->failure, engine_->detail);
    }
    if (!push()) return false;
    const bool sending = pending() > 0;
    if (step == Step::kDone && !sending) return true;
    const uint32_t spent = tickCount() - start;
    if (spent >= timeoutMs) return fail(TlsFailure::kTimeout, "after " + std::to_string(timeoutMs) + " ms");
    const int ready = sending ? platform::waitWritable(socket_, timeoutMs - spent)
                              : platform::waitReadable(socket_, timeoutMs - spent);
    if (ready < 0) return fail(TlsFailure::kSocket, lastSocketErrorText());
    if (ready == 0 || sending) continue;
    size_t whole = 0;
    bool end = false;
    if (!receiveRecords(&whole, &end)) return false;
    // SChannel keeps asking for more of a message that spans records; no
    // honest server's handshake comes near this.
    if (in_.size() > kInputLimit) return fail(TlsFailure::kProtocol, "its handshake is larger than 1 MiB");
    if (whole > 0) {
      step = engine_->handshake(&in_[0], whole, &used, &out_);
      in_.erase(0, used);
    }
    if (end && step == Step::kMore) {
      return fail(TlsFailure::kEnded, "the server closed the connection during the handshake");
    }
  }
}

bool TlsStream::receiveRecords(size_t* whole, bool* end) {
  char buffer[kReadBytes];
  const int n = receiveSome(socket_, buffer, kReadBytes);
  if (n < 0 && lastSocketError() != kWsaEwouldblock) return fail(TlsFailure::kSocket, lastSocketErrorText());
  if (n > 0) in_.append(buffer, size_t(n));
  *end = n == 0;
  size_t at = 0;
  for (;;) {
    const auto* h = reinterpret_cast<const unsigned char*>(in_.data()) + at;
    const size_t have = in_.size() - at;
    // Content types 20 to 24 and major version 3: what every TLS record starts
    // with, and what a plain HTTP answer never does.
    const bool bad = (have >= 1 && (h[0] < 20 || h[0] > 24)) || (have >= 2 && h[1] != 3) ||
                     (have >= kHeaderBytes && size_t(h[3] << 8 | h[4]) > kLongestRecord);
    if (bad) {
      if (sawTls_) return fail(TlsFailure::kProtocol, "a damaged record arrived");
      return fail(TlsFailure::kNotTls, "its answer begins \"" + printable(in_.substr(0, 24)) + "\"");
    }
    if (have < kHeaderBytes || have - kHeaderBytes < size_t(h[3] << 8 | h[4])) break;
    sawTls_ = true;
    at += kHeaderBytes + size_t(h[3] << 8 | h[4]);
  }
  *whole = at;
  return true;
}

bool TlsStream::push() {
  bool ok = true;
  while (pending() > 0) {
    // The socket is non-blocking for the stream's life, so a plain send never waits.
    const int n = sendSome(socket_, out_.data() + outPos_, int(std::min<size_t>(pending(), 1 << 20)));
    if (n <= 0) {
      ok = n == 0 || lastSocketError() == kWsaEwouldblock || fail(TlsFailure::kSocket, lastSocketErrorText());
      break;
    }
    outPos_ += size_t(n);
  }
  if (pending() == 0) {
    out_.clear();
    outPos_ = 0;
  } else if (outPos_ >= kBacklogBytes) {
    out_.erase(0, outPos_);
    outPos_ = 0;
  }
  return ok;
}

bool TlsStream::pull() {
  if (!push()) return false;  // answers the engine made go out first
  size_t whole = 0;
  bool end = false;
  if (!receiveRecords(&whole, &end)) return false;
  if (whole > 0) {
    const Step step = engine_->decrypt(&in_[0], whole, &plain_, &out_);
    in_.erase(0, whole);
    if (step == Step::kFailed) return fail(engine_->failure, engine_->detail);
    if (step == Step::kClosed) ended_ = true;
    if (!push()) return false;
  }
  if (end && !ended_) {
    // An end without the closing alert is an end all the same (many servers
    // just close), unless it cuts a record short.
    if (!in_.empty()) return fail(TlsFailure::kEnded, "the server stopped inside a record");
    ended_ = true;
  }
  return true;
}

bool TlsStream::hasSomethingToReport() const {
  return plainPos_ < plain_.size() || ended_ || failure_ != TlsFailure::kNone || !connected_;
}

bool TlsStream::encryptStaged() {
  if (staged_.empty()) return true;
  const bool ok = engine_->encrypt(staged_.data(), staged_.size(), &out_);
  staged_.clear();
  return ok || fail(engine_->failure, engine_->detail);
}

bool TlsStream::usable() {
  wouldBlock_ = false;
  return failure_ == TlsFailure::kNone && (connected_ || fail(TlsFailure::kSocket, "the stream is not connected"));
}

bool TlsStream::sendable() {
  return usable() && (!closed_ || fail(TlsFailure::kSocket, "the stream was closed for sending"));
}

int TlsStream::send(const void* data, int size) {
  if (!sendable()) return -1;
  if (pending() >= kBacklogBytes) {
    if (!push()) return -1;
    if (pending() >= kBacklogBytes) return notNow();
  }
  const char* p = static_cast<const char*>(data);
  const size_t take = std::min<size_t>(size_t(std::max(size, 0)), kBacklogBytes);
  const size_t before = out_.size();
  size_t at = 0;
  if (!staged_.empty()) {
    at = std::min(take, kRecordBytes - staged_.size());
    staged_.append(p, at);
    if (staged_.size() == kRecordBytes && !encryptStaged()) return -1;
  }
  // Whole records straight from the caller's bytes; the rest waits for more.
  for (; take - at >= kRecordBytes; at += kRecordBytes) {
    if (!engine_->encrypt(p + at, kRecordBytes, &out_)) return fail(engine_->failure, engine_->detail), -1;
  }
  staged_.append(p + at, take - at);
  // The socket is tried when a new record joins a gathered send, not for every
  // few bytes taken: under Wine each refused send costs as much as a record.
  if (out_.size() > before && pending() >= kGatherBytes && !push()) return -1;
  return int(take);
}

int TlsStream::flush() {
  if (!usable() || !encryptStaged() || !push()) return -1;
  return pending() == 0 ? 1 : 0;
}

int TlsStream::receive(void* buffer, int size) {
  wouldBlock_ = false;
  if (!hasSomethingToReport()) pull();
  // Bytes decrypted before a failure were genuine: they are handed out first.
  if (plainPos_ < plain_.size()) {
    const size_t n = std::min<size_t>(size_t(std::max(size, 0)), plain_.size() - plainPos_);
    std::memcpy(buffer, plain_.data() + plainPos_, n);
    plainPos_ += n;
    if (plainPos_ == plain_.size()) {
      plain_.clear();
      plainPos_ = 0;
    }
    return int(n);
  }
  if (!usable()) return -1;
  return ended_ ? 0 : notNow();
}

int TlsStream::waitReadable(uint32_t ms) {
  const uint32_t start = tickCount();
  for (;;) {
    if (hasSomethingToReport()) return 1;
    pull();
    if (hasSomethingToReport()) return 1;
    // Readable only means some bytes came; a record may need more of them.
    const uint32_t spent = tickCount() - start;
    if (spent >= ms) return 0;
    const int r = platform::waitReadable(socket_, ms - spent);
    if (r <= 0) return r;
  }
}

int TlsStream::waitWritable(uint32_t ms) {
  if (failure_ != TlsFailure::kNone || !connected_ || pending() == 0) return 1;
  return platform::waitWritable(socket_, ms);
}

void TlsStream::close() {
  if (!usable()) return;
  if (encryptStaged()) {
    engine_->closeNotify(&out_);
    push();
  }
  closed_ = true;
}

}  // namespace platform
