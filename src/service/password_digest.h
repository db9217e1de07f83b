#pragma once
// The password is never sent or stored, only its MD5 digest in the form the
// service calls "hashed_password": 32 lower-case hexadecimal digits.
#include <memory>
#include <string>

namespace service {

class Md5Engine;

class PasswordDigest {
 public:
  PasswordDigest();
  ~PasswordDigest();
  PasswordDigest(const PasswordDigest&) = delete;
  PasswordDigest& operator=(const PasswordDigest&) = delete;

  // The digest of exactly the bytes of `text`, its whole length: nothing is
  // trimmed, appended or re-encoded.
  std::string digestText(const std::string& text) const;

 private:
  std::unique_ptr<Md5Engine> engine_;
};

}  // namespace service
