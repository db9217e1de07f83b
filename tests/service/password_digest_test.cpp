#include "service/password_digest.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "service/md5.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace {

TEST(PasswordDigest, MatchesTheReferenceVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  service::PasswordDigest digest;
  for (const auto& v : vectors) EXPECT_EQ(digest.digestText(v.first), v.second) << '"' << v.first << '"';
}

// md5sum over files the test writes: an implementation that is not ours. One
// run for all inputs keeps the test fast.
std::vector<std::string> md5sumOf(const std::vector<std::string>& inputs) {
  std::string command = "md5sum";
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string name = "input" + std::to_string(i) + ".bin";
    testsupport::writeFileBytes(name, inputs[i]);
    command += " " + name;
  }
  std::vector<std::string> sums;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return sums;
  char line[256];
  while (fgets(line, sizeof line, pipe)) sums.emplace_back(line, 32);
  pclose(pipe);
  return sums;
}

TEST(PasswordDigest, AgreesWithMd5sumOnEveryByteOfInputsOfManyLengths) {
  testsupport::TempDir dir(true);
  // Blanks around a password, letter case, zero and high bytes all count.
  std::vector<std::string> inputs = {" secret", "secret ", "Secret", std::string("a\0b", 3), "\xff\xfe high bytes"};
  // Random bytes of every length around the padding boundaries of one and two
  // blocks (55, 56, 63, 64, 65, 119, 120, 127, 128 ...), and a few longer ones.
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 130; ++n) lengths.push_back(n);
  for (size_t n : {183u, 191u, 192u, 1000u, 4096u, 4159u, 65537u}) lengths.push_back(n);
  std::mt19937 random(20240601);
  for (size_t length : lengths) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = char(random());
    inputs.push_back(bytes);
  }
  const std::vector<std::string> sums = md5sumOf(inputs);
  ASSERT_EQ(sums.size(), inputs.size());
  service::PasswordDigest digest;
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(digest.digestText(inputs[i]), sums[i]) << "input " << i << ", length " << inputs[i].size();
  }
}

TEST(Md5Engine, GivesTheSameDigestForInputFedInAnyPiecesAndLeavesNoTraceInTheContext) {
  const service::Md5Engine engine;
  std::string text;
  for (int i = 0; i < 300; ++i) text += char('a' + i % 26);
  const std::string expected = service::PasswordDigest().digestText(text);
  for (size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 299u}) {
    service::Md5Context context;
    engine.init(&context);
    for (size_t i = 0; i < text.size(); i += piece) {
      engine.update(&context, reinterpret_cast<const uint8_t*>(text.data() + i), std::min(piece, text.size() - i));
    }
    uint8_t out[16];
    engine.finish(out, &context);
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", out[i]);
    EXPECT_EQ(std::string(hex), expected) << "pieces of " << piece;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&context);
    for (size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
  }
}

}  // namespace
