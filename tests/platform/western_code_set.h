#pragma once
// Runs a test with Windows-1252 as the ANSI code set, whatever the machine's own
// is, and gives the machine's own back afterwards.
#include <gtest/gtest.h>

#include "platform/charset.h"

namespace fptest {

#ifdef _WIN32
constexpr const char* kWesternCodeSet = "1252";
#else
constexpr const char* kWesternCodeSet = "CP1252";
#endif

class WesternCodeSetTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setAnsiCodeSetForTesting(kWesternCodeSet); }
  void TearDown() override { platform::setAnsiCodeSetForTesting(""); }
};

// UTF-8 texts used with it.
constexpr const char* kUtf8EAcute = "\xC3\xA9";           // U+00E9, 0xE9 in 1252
constexpr const char* kUtf8Euro = "\xE2\x82\xAC";         // U+20AC, 0x80 in 1252
constexpr const char* kUtf8AMacron = "\xC4\x80";          // U+0100, not in 1252
constexpr const char* kUtf8CjkMiddle = "\xE4\xB8\xAD";    // U+4E2D, not in 1252

}  // namespace fptest
