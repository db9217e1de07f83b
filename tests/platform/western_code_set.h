#pragma once
// Runs a test with Windows-1252 as the ANSI code set, whatever the machine's own
// is, and gives the machine's own back afterwards; and UTF-8 texts used with it.
#include <gtest/gtest.h>

#include "platform/charset.h"

namespace fptest {

class WesternCodeSetTest : public ::testing::Test {
 protected:
#ifdef _WIN32
  void SetUp() override { platform::setAnsiCodeSetForTesting("1252"); }
#else
  void SetUp() override { platform::setAnsiCodeSetForTesting("CP1252"); }
#endif
  void TearDown() override { platform::setAnsiCodeSetForTesting(""); }
};

constexpr const char* kUtf8EAcute = "\xC3\xA9";         // U+00E9, 0xE9 in 1252
constexpr const char* kUtf8Euro = "\xE2\x82\xAC";       // U+20AC, 0x80 in 1252
constexpr const char* kUtf8AMacron = "\xC4\x80";        // U+0100, not in 1252
constexpr const char* kUtf8CjkMiddle = "\xE4\xB8\xAD";  // U+4E2D, not in 1252

}  // namespace fptest
