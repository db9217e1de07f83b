// SocketConnection's own logic (pending bytes, splitting at a match, log
// trails) driven by a connection played from memory.
#include "component/net/socket_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "component/net/net_test_util.h"
#include "component/net/socket_channel.h"
#include "platform/western_code_set.h"
#include "support/memory_channel.h"

namespace {

using component::DataBuffer;
using component::EncodedString;
using component::SocketConnection;
using nettest::ansi;
using nettest::bytesOf;
using nettest::textOf;
using testing::HasSubstr;
using testing::Not;
using testsupport::MemoryChannel;

// A connection whose channel serves `reply` in `pieces`; the record shows what
// the channel saw.
struct Played {
  explicit Played(std::string reply, std::vector<size_t> pieces = {}, bool endWithTimeout = false) {
    auto channel = std::make_unique<MemoryChannel>(std::move(reply), std::move(pieces));
    if (endWithTimeout) channel->endWithTimeout();
    record = channel->record();
    connection.adoptChannelForTesting(std::move(channel));
  }
  bool receiveHeader(EncodedString& header, component::ProgressCallback* callback = nullptr) {
    EncodedString match = ansi("\r\n\r\n");
    return connection.ReceiveUntilMatch(match, header, callback);
  }
  SocketConnection connection;
  std::shared_ptr<MemoryChannel::Record> record;
};

TEST(SocketConnectionWithoutChannel, EveryOperationFailsWithItsOwnTrail) {
  SocketConnection c;
  DataBuffer out;
  EncodedString text = ansi("old text");
  EncodedString match = ansi("\r\n");
  EXPECT_FALSE(c.ReceiveBytesN(0, out, nullptr, false));  // refused before the connection check
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  ReceiveBytesN:\r\n    The application requested 0 bytes.\r\n");
  EXPECT_FALSE(c.ReceiveBytes(out, nullptr));
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    No connection is established\r\n");
  EXPECT_FALSE(c.ReceiveBytesN(5, out, nullptr, false));
  EXPECT_THAT(textOf(c.log()), HasSubstr("  ReceiveBytesN:\r\n    No connection is established\r\n"));
  EXPECT_FALSE(c.ReceiveUntilMatch(match, text, nullptr));
  EXPECT_THAT(textOf(c.log()), HasSubstr("  ReceiveUntilMatch:\r\n    No connection is established\r\n"));
  EXPECT_TRUE(text.isEmpty());
  EXPECT_FALSE(c.ReceiveLine(text, nullptr));
  EXPECT_EQ(c.write("abc", 1, 3, nullptr), 0u);
}

TEST(SocketConnectionReceiveBytesN, PendingBytesFirstThenReceivesOfNoMoreThanIsMissing) {
  const struct {
    const char* name;
    std::string reply;
    std::vector<size_t> pieces;
    bool headerFirst;
    uint32_t count;
    std::string out, pending;
    int receives;  // during ReceiveBytesN
    const char* logHas;
  } cases[] = {
      {"fewer than pending", "HTTP/1.1 200 OK\r\n\r\n0123456789abcdefghijklmno", {}, true, 10, "0123456789",
       "abcdefghijklmno", 0, ""},
      {"more than pending", "H\r\n\r\nABCDEFGHIJKLMNOPQRSTUVWXY", {10, 20}, true, 12, "ABCDEFGHIJKL", "", 1, ""},
      // The third receive asks for the 1 byte missing, not for a piece of 3.
      {"small pieces", "abcdefghij", {3}, false, 7, "abcdefg", "", 3, ""},
      {"short body", "only7by", {}, false, 1200, "only7by", "", 2, "    Failed to received data on socket.\r\n"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Played p(k.reply, k.pieces);
    EncodedString header;
    if (k.headerFirst) {
      ASSERT_TRUE(p.receiveHeader(header));
    }
    const int before = p.record->receives;
    DataBuffer out;
    ASSERT_TRUE(p.connection.ReceiveBytesN(k.count, out, nullptr, false));
    EXPECT_EQ(bytesOf(out), k.out);
    EXPECT_EQ(bytesOf(p.connection.pendingBytes()), k.pending);
    EXPECT_EQ(p.record->receives - before, k.receives);
    EXPECT_THAT(textOf(p.connection.log()), HasSubstr(k.logHas));
  }
}

TEST(SocketConnectionReceiveBytes, PendingBytesComeFirstAndAlone) {
  Played p("A\r\nrest-of-it");
  EncodedString line;
  ASSERT_TRUE(p.connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "A\r\n");
  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytes(out, nullptr));
  EXPECT_EQ(bytesOf(out), "rest-of-it");
  EXPECT_EQ(p.record->receives, 1);
  EXPECT_EQ(p.connection.pendingBytes().getSize(), 0u);
}

class SocketConnectionText : public fptest::WesternCodeSetTest {};

TEST_F(SocketConnectionText, ReceiveUntilMatchLeavesTheBytesAfterTheMatchPendingByteForByte) {
  // A gzip body starts with 1F 8B 08 00; a UTF-8 body carries bytes above 127.
  const std::string binary("\x1f\x8b\x08\x00\xff\xe9\x00\xc3\xa9<x/>", 13);
  const struct {
    const char* name;
    std::string reply;
    std::vector<size_t> pieces;
    const char* header;
    std::string pending;
    int receives;
  } cases[] = {
      {"one segment", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody", {},
       "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n", "body", 1},
      // "\r\n\r\n" arrives as "\r\n\r" + "\nxy".
      {"split match", "HTTP/1.1 200 OK\r\n\r\nxy", {18, 3}, "HTTP/1.1 200 OK\r\n\r\n", "xy", 2},
      {"raw bytes", "HTTP/1.1 200 OK\r\n\r\n" + binary, {}, "HTTP/1.1 200 OK\r\n\r\n", binary, 1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Played p(k.reply, k.pieces);
    EncodedString header;
    ASSERT_TRUE(p.receiveHeader(header));
    EXPECT_STREQ(header.getAnsi(), k.header);
    EXPECT_EQ(bytesOf(p.connection.pendingBytes()), k.pending);
    EXPECT_EQ(p.record->receives, k.receives);
    // Asking for exactly what is pending takes it without receiving.
    DataBuffer body;
    ASSERT_TRUE(p.connection.ReceiveBytesN(uint32_t(k.pending.size()), body, nullptr, false));
    EXPECT_EQ(bytesOf(body), k.pending);
    EXPECT_EQ(p.record->receives, k.receives);
  }
}

TEST_F(SocketConnectionText, HeaderTextIsTakenInTheAnsiCodeSet) {
  Played p("X-Name: Jos\xe9\r\n\r\n");
  EncodedString header;
  ASSERT_TRUE(p.receiveHeader(header));
  EXPECT_STREQ(header.getUtf8(), "X-Name: Jos\xc3\xa9\r\n\r\n");
}

TEST_F(SocketConnectionText, HostIsHandedDownAsUtf8) {
  testsupport::MemoryChannelFactory factory("");
  SocketConnection c;
  EncodedString host = ansi("b\xfc" "cher.invalid");
  EXPECT_TRUE(c.Connect(host, 80, false, 1000, nullptr));
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->host, "b\xc3\xbc" "cher.invalid");
}

TEST(SocketConnectionReceiveUntilMatch, MatchArrivingByteByByteIsFoundOnce) {
  Played p("ab\r\ncd\r\n", {1});
  EncodedString line;
  ASSERT_TRUE(p.connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "ab\r\n");
  ASSERT_TRUE(p.connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "cd\r\n");
  EXPECT_EQ(p.connection.pendingBytes().getSize(), 0u);
}

TEST(SocketConnectionReceiveUntilMatch, EndBeforeTheMatchOrTooMuchWithoutItFails) {
  Played closed("HTTP/1.1 200 OK\r\nServer: x\r\n", {8});
  EncodedString header;
  EXPECT_FALSE(closed.receiveHeader(header));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\nServer: x\r\n");
  EXPECT_EQ(closed.connection.pendingBytes().getSize(), 0u);
  EXPECT_EQ(textOf(closed.connection.log()),
            "QuillonLog:\r\n  ReceiveUntilMatch:\r\n    Failed to received data on socket.\r\n");

  Played timedOut("partial", {}, true);
  EXPECT_FALSE(timedOut.receiveHeader(header));
  EXPECT_STREQ(header.getAnsi(), "partial");
  EXPECT_THAT(textOf(timedOut.connection.log()), HasSubstr("Timeout waiting to read socket or accept connection"));

  Played endless(std::string(3 * SocketConnection::kMaxMatchBytes, 'x'), {65536});
  EXPECT_FALSE(endless.receiveHeader(header));
  EXPECT_LE(header.charCount(), int(SocketConnection::kMaxMatchBytes) + 4096);
  EXPECT_THAT(textOf(endless.connection.log()), HasSubstr("No match within the size limit"));
}

TEST(SocketConnectionLog, EachOperationLeavesOnlyItsOwnTrail) {
  Played p("");
  DataBuffer out;
  p.connection.ReceiveBytes(out, nullptr);
  EXPECT_TRUE(p.connection.ReceiveBytesN(3, out, nullptr, false));
  const std::string text = textOf(p.connection.log());
  EXPECT_THAT(text, Not(HasSubstr("ReceiveBytes:")));
  EXPECT_THAT(text, HasSubstr("  ReceiveBytesN:\r\n    This socket is not connected\r\n"));
  EXPECT_EQ(p.connection.log().openContextDepth(), 1u);
}

TEST(SocketConnectionWrite, SendsItemSizeTimesCountAndLeavesTheLogAlone) {
  Played p("x");
  DataBuffer out;
  p.connection.ReceiveBytes(out, nullptr);
  const std::string before = textOf(p.connection.log());
  EXPECT_EQ(p.connection.write("abcdef", 2, 3, nullptr), 3u);
  EXPECT_EQ(p.record->sent, "abcdef");
  EXPECT_EQ(p.connection.write("abc", 1, 0, nullptr), 0u);
  EXPECT_EQ(p.connection.write("abc", 0, 3, nullptr), 0u);
  EXPECT_EQ(p.connection.write(nullptr, 1, 3, nullptr), 0u);
  EXPECT_EQ(p.connection.write("abc", 2, SIZE_MAX / 2 + 1, nullptr), 0u) << "a byte count that wraps around";
  EXPECT_EQ(p.record->sent, "abcdef");
  EXPECT_EQ(textOf(p.connection.log()), before);
}

TEST(SocketConnectionWrite, FailedSendAnswersZero) {
  auto channel = std::make_unique<MemoryChannel>();
  channel->failSendAfter(4);
  auto record = channel->record();
  SocketConnection c;
  c.adoptChannelForTesting(std::move(channel));
  EXPECT_EQ(c.write("abcdef", 1, 6, nullptr), 0u);
  EXPECT_EQ(record->sent, "abcd");
}

TEST(SocketConnectionConnect, SecondConnectDropsPendingBytesAndClosesTheFirstChannel) {
  testsupport::MemoryChannelFactory factory("A\r\nleftover");
  SocketConnection c;
  EncodedString host = ansi("upload.example.invalid");
  ASSERT_TRUE(c.Connect(host, 8080, false, 30000, nullptr));
  EncodedString line;
  ASSERT_TRUE(c.ReceiveLine(line, nullptr));
  ASSERT_EQ(c.pendingBytes().getSize(), 8u);
  ASSERT_TRUE(c.Connect(host, 8080, false, 30000, nullptr));
  EXPECT_EQ(c.pendingBytes().getSize(), 0u);
  ASSERT_EQ(factory.records().size(), 2u);
  EXPECT_TRUE(factory.records()[0]->closed);
  const MemoryChannel::Record& second = *factory.records()[1];
  EXPECT_FALSE(second.closed);
  EXPECT_EQ(second.host, "upload.example.invalid");
  EXPECT_EQ(second.port, 8080);
  EXPECT_EQ(second.timeLimitMs, 30000u);
}

TEST(SocketConnectionProgress, ReceiveBytesNReportsPercentOfTheRequestUnlessTold) {
  for (bool noPercent : {false, true}) {
    nettest::CountingCallback callback;
    Played p(std::string(200, 'x'), {50});
    DataBuffer out;
    ASSERT_TRUE(p.connection.ReceiveBytesN(200, out, &callback, noPercent));
    EXPECT_EQ(out.getSize(), 200u);
    EXPECT_EQ(callback.percentCalls, noPercent ? 0 : 4);
    EXPECT_EQ(callback.lastPercent, noPercent ? -1 : 100);
  }
}

}  // namespace
