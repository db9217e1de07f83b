#include "service/password_digest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "service/md5.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace {

TEST(PasswordDigest, MatchesTheReferenceVectorsAndLeavesNoTraceInTheContext) {
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
  for (const auto& v : vectors) EXPECT_EQ(service::PasswordDigest().digestText(v.first), v.second) << v.first;
  service::Md5Context context;
  const service::Md5Engine engine;
  engine.init(&context);
  engine.update(&context, reinterpret_cast<const uint8_t*>("secret"), 6);
  uint8_t digest[16];
  engine.finish(digest, &context);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&context), sizeof context), std::string(sizeof context, 0));
}

// Random bytes of every length around the padding boundaries of one and two
// blocks, and a few longer ones, against md5sum: an implementation not ours.
TEST(PasswordDigest, AgreesWithMd5sumOnRandomInputsOfManyLengths) {
  testsupport::TempDir dir(true);
  std::mt19937 random(20240601);
  std::vector<std::string> inputs;
  std::string command = "md5sum";
  std::vector<size_t> lengths = {191, 192, 4159, 65537};
  for (size_t n = 0; n <= 130; ++n) lengths.push_back(n);
  for (size_t length : lengths) {
    inputs.emplace_back(length, '\0');
    for (char& c : inputs.back()) c = char(random());
    command += " in" + std::to_string(inputs.size());
    testsupport::writeFileBytes("in" + std::to_string(inputs.size()), inputs.back());
  }
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  char line[256];
  for (const std::string& input : inputs) {
    ASSERT_TRUE(fgets(line, sizeof line, pipe));
    EXPECT_EQ(service::PasswordDigest().digestText(input), std::string(line, 32)) << "length " << input.size();
  }
  pclose(pipe);
}

}  // namespace
