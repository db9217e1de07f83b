#include "service/password_digest.h"

#include "service/md5.h"

namespace service {

PasswordDigest::PasswordDigest() : engine_(new Md5Engine) {}

PasswordDigest::~PasswordDigest() = default;

std::string PasswordDigest::digestText(const std::string& text) const {
  static const char kHex[] = "0123456789abcdef";
  Md5Context context;
  uint8_t digest[16];
  engine_->init(&context);
  engine_->update(&context, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  engine_->finish(digest, &context);
  std::string hex(32, '0');
  for (int i = 0; i < 16; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 15];
  }
  Md5Engine::fillBytes(digest, 0, sizeof digest);
  return hex;
}

}  // namespace service
