// SocketConnection's own logic (pending bytes, splitting at a match, log
// trails) driven by a connection played from memory.
#include "component/net/socket_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/net/socket_channel.h"
#include "component/net/net_test_util.h"
#include "platform/charset.h"
#include "support/memory_channel.h"

namespace {

using component::DataBuffer;
using component::EncodedString;
using component::SocketConnection;
using nettest::textOf;
using testing::HasSubstr;
using testing::Not;
using testsupport::MemoryChannel;

std::string bytesOf(DataBuffer& b) { return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize()); }

EncodedString ansi(const char* text) {
  EncodedString s;
  s.setAnsi(text);
  return s;
}

// A connection whose channel serves `reply` in `pieces`; the record shows what
// the channel saw.
struct Played {
  Played(std::string reply, std::vector<size_t> pieces = {}) {
    auto channel = std::make_unique<MemoryChannel>(std::move(reply), std::move(pieces));
    record = channel->record();
    connection.adoptChannelForTesting(std::move(channel));
  }
  SocketConnection connection;
  std::shared_ptr<MemoryChannel::Record> record;
};

TEST(SocketConnectionWithoutChannel, ReceivesFailWithNoConnectionMessage) {
  SocketConnection c;
  DataBuffer out;
  EncodedString text;
  EncodedString match = ansi("\r\n");
  EXPECT_FALSE(c.ReceiveBytes(out, nullptr));
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  ReceiveBytes:\r\n    No connection is established\r\n");
  EXPECT_FALSE(c.ReceiveBytesN(5, out, nullptr, false));
  EXPECT_THAT(textOf(c.log()), HasSubstr("  ReceiveBytesN:\r\n    No connection is established\r\n"));
  EXPECT_FALSE(c.ReceiveUntilMatch(match, text, nullptr));
  EXPECT_THAT(textOf(c.log()), HasSubstr("  ReceiveUntilMatch:\r\n    No connection is established\r\n"));
  EXPECT_FALSE(c.ReceiveLine(text, nullptr));
  EXPECT_EQ(c.write("abc", 1, 3, nullptr), 0u);
}

TEST(SocketConnectionWithoutChannel, ZeroByteRequestIsRefusedBeforeTheConnectionCheck) {
  SocketConnection c;
  DataBuffer out;
  EXPECT_FALSE(c.ReceiveBytesN(0, out, nullptr, false));
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  ReceiveBytesN:\r\n    The application requested 0 bytes.\r\n");
}

TEST(SocketConnectionReceiveBytesN, TakesFewerThanPendingWithoutReceiving) {
  Played p("HTTP/1.1 200 OK\r\n\r\n0123456789abcdefghijklmno");
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  ASSERT_EQ(p.connection.pendingBytes().getSize(), 25u);
  const int receivesBefore = p.record->receives;

  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytesN(10, out, nullptr, false));
  EXPECT_EQ(bytesOf(out), "0123456789");
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), "abcdefghijklmno");
  EXPECT_EQ(p.record->receives, receivesBefore);
}

TEST(SocketConnectionReceiveBytesN, TakesPendingThenReceivesAndKeepsTheSurplus) {
  // Header and 5 body bytes in the first piece, then 20 more in one piece.
  Played p("H\r\n\r\nABCDE" + std::string("FGHIJKLMNOPQRSTUVWXY"), {10, 20});
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  ASSERT_EQ(bytesOf(p.connection.pendingBytes()), "ABCDE");

  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytesN(12, out, nullptr, false));
  EXPECT_EQ(bytesOf(out), "ABCDEFGHIJKL");
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), "MNOPQRSTUVWXY");
}

TEST(SocketConnectionReceiveBytesN, GathersSmallPiecesUntilTheCountIsReached) {
  Played p("abcdefghij", {3});
  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytesN(7, out, nullptr, false));
  EXPECT_EQ(bytesOf(out), "abcdefg");
  // The third piece brought 3 bytes where 1 was missing.
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), "hi");
  EXPECT_EQ(p.record->receives, 3);
}

TEST(SocketConnectionReceiveBytesN, ShortBodyStillSucceedsAndLeavesTheReasonInTheLog) {
  Played p("only7by");
  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytesN(1200, out, nullptr, false));
  EXPECT_EQ(bytesOf(out), "only7by");
  EXPECT_THAT(textOf(p.connection.log()), HasSubstr("    Failed to received data on socket.\r\n"));
}

TEST(SocketConnectionReceiveBytes, PendingBytesComeFirstAndAlone) {
  Played p("A\r\nrest-of-it", {});
  EncodedString line;
  ASSERT_TRUE(p.connection.ReceiveLine(line, nullptr));
  EXPECT_STREQ(line.getAnsi(), "A\r\n");
  const int receivesBefore = p.record->receives;
  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytes(out, nullptr));
  EXPECT_EQ(bytesOf(out), "rest-of-it");
  EXPECT_EQ(p.record->receives, receivesBefore);
  EXPECT_EQ(p.connection.pendingBytes().getSize(), 0u);
}

TEST(SocketConnectionReceiveUntilMatch, HeaderAndBodyInOneSegment) {
  Played p("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody");
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n");
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), "body");
  EXPECT_EQ(p.record->receives, 1);

  DataBuffer body;
  ASSERT_TRUE(p.connection.ReceiveBytesN(4, body, nullptr, false));
  EXPECT_EQ(bytesOf(body), "body");
  EXPECT_EQ(p.record->receives, 1);
}

TEST(SocketConnectionReceiveUntilMatch, MatchSplitAcrossSegments) {
  // "\r\n\r\n" arrives as "\r\n\r" + "\nxy".
  const std::string reply = "HTTP/1.1 200 OK\r\n\r\nxy";
  Played p(reply, {reply.size() - 3, 3});
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), "xy");
  EXPECT_EQ(p.record->receives, 2);
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

TEST(SocketConnectionReceiveUntilMatch, BytesAfterTheMatchStayPendingByteForByte) {
  platform::setAnsiCodeSetForTesting("CP1252");
  // A gzip body starts with 1F 8B 08 00; a UTF-8 body carries bytes above 127.
  const std::string body("\x1f\x8b\x08\x00\xff\xe9\x00\xc3\xa9<x/>", 13);
  Played p("HTTP/1.1 200 OK\r\n\r\n" + body);
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_EQ(bytesOf(p.connection.pendingBytes()), body);
  platform::setAnsiCodeSetForTesting("");
}

TEST(SocketConnectionReceiveUntilMatch, HeaderTextIsTakenInTheAnsiCodeSet) {
  platform::setAnsiCodeSetForTesting("CP1252");
  Played p("X-Name: Jos\xe9\r\n\r\n");
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  ASSERT_TRUE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getUtf8(), "X-Name: Jos\xc3\xa9\r\n\r\n");
  platform::setAnsiCodeSetForTesting("");
}

TEST(SocketConnectionReceiveUntilMatch, PeerClosingBeforeTheMatchFailsAndKeepsTheTextSoFar) {
  Played p("HTTP/1.1 200 OK\r\nServer: x\r\n", {8});
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  EXPECT_FALSE(p.connection.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\nServer: x\r\n");
  EXPECT_EQ(p.connection.pendingBytes().getSize(), 0u);
  EXPECT_EQ(textOf(p.connection.log()),
            "QuillonLog:\r\n  ReceiveUntilMatch:\r\n    Failed to received data on socket.\r\n");
}

TEST(SocketConnectionReceiveUntilMatch, TimeoutBeforeTheMatchFails) {
  auto channel = std::make_unique<MemoryChannel>("partial");
  channel->endWithTimeout();
  SocketConnection c;
  c.adoptChannelForTesting(std::move(channel));
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  EXPECT_FALSE(c.ReceiveUntilMatch(match, header, nullptr));
  EXPECT_STREQ(header.getAnsi(), "partial");
  EXPECT_THAT(textOf(c.log()), HasSubstr("Timeout waiting to read socket or accept connection"));
}

TEST(SocketConnectionReceiveUntilMatch, OutIsEmptiedEvenWithoutConnection) {
  SocketConnection c;
  EncodedString out = ansi("old text");
  EncodedString match = ansi("\r\n");
  EXPECT_FALSE(c.ReceiveUntilMatch(match, out, nullptr));
  EXPECT_TRUE(out.isEmpty());
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
  EXPECT_FALSE(factory.records()[1]->closed);
  EXPECT_EQ(factory.records()[1]->host, "upload.example.invalid");
  EXPECT_EQ(factory.records()[1]->port, 8080);
  EXPECT_EQ(factory.records()[1]->timeLimitMs, 30000u);
}

TEST(SocketConnectionConnect, HostIsHandedDownAsUtf8) {
  platform::setAnsiCodeSetForTesting("CP1252");
  testsupport::MemoryChannelFactory factory("");
  SocketConnection c;
  EncodedString host = ansi("b\xfc" "cher.invalid");
  EXPECT_TRUE(c.Connect(host, 80, false, 1000, nullptr));
  ASSERT_EQ(factory.records().size(), 1u);
  EXPECT_EQ(factory.records()[0]->host, "b\xc3\xbc" "cher.invalid");
  platform::setAnsiCodeSetForTesting("");
}

TEST(SocketConnectionConnect, SecureConnectionsFailWithAClearMessage) {
  SocketConnection c;
  EncodedString host = ansi("127.0.0.1");
  EXPECT_FALSE(c.Connect(host, 443, true, 1000, nullptr));
  EXPECT_EQ(textOf(c.log()), "QuillonLog:\r\n  Connect:\r\n    Secure connections are not supported.\r\n");
  DataBuffer out;
  EXPECT_TRUE(c.ReceiveBytes(out, nullptr));
  EXPECT_EQ(out.getSize(), 0u);
}

TEST(SocketConnectionAbort, CallbackAbortAfterACompleteReceiveIsRecorded) {
  nettest::CountingCallback callback;
  callback.abortAtHeartbeat = 1;
  Played p("HTTP/1.1 200 OK\r\n\r\n");
  EncodedString header;
  EncodedString match = ansi("\r\n\r\n");
  EXPECT_FALSE(p.connection.ReceiveUntilMatch(match, header, &callback));
  EXPECT_STREQ(header.getAnsi(), "HTTP/1.1 200 OK\r\n\r\n");
  EXPECT_THAT(textOf(p.connection.log()), HasSubstr("Socket ReceiveBytes aborted by application."));
  EXPECT_EQ(callback.heartbeats, 1);
}

TEST(SocketConnectionProgress, ReceiveBytesNReportsPercentOfTheRequest) {
  nettest::CountingCallback callback;
  Played p(std::string(200, 'x'), {50});
  DataBuffer out;
  ASSERT_TRUE(p.connection.ReceiveBytesN(200, out, &callback, false));
  EXPECT_EQ(out.getSize(), 200u);
  EXPECT_EQ(callback.percentCalls, 4);
  EXPECT_EQ(callback.lastPercent, 100);

  nettest::CountingCallback quiet;
  Played q(std::string(200, 'x'), {50});
  ASSERT_TRUE(q.connection.ReceiveBytesN(200, out, &quiet, true));
  EXPECT_EQ(quiet.percentCalls, 0);
}

}  // namespace
