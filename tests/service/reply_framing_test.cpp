#include "service/reply_framing.h"

#include <gtest/gtest.h>

#include <string>

#include "service/service_fixture.h"

namespace {

using service::ReplyFraming;

// Feeds `reply` one byte at a time and returns how many bytes it took until the
// framing said complete (0 when it never did). On the way it must not give up,
// and bytes after the end must change nothing.
size_t bytesUntilComplete(const std::string& reply) {
  ReplyFraming framing;
  for (size_t i = 0; i < reply.size(); ++i) {
    framing.feed(&reply[i], 1);
    EXPECT_FALSE(framing.endsAtClose()) << "at byte " << i;
    if (framing.complete()) {
      framing.feed("HTTP/1.1 200 OK\r\n", 17);
      EXPECT_TRUE(framing.complete());
      return i + 1;
    }
  }
  return 0;
}

TEST(ReplyFraming, CompletesExactlyAtTheLastByteOfAFramedReply) {
  const std::string body = "<userdata><validated status=\"true\"/></userdata>";
  const std::string replies[] = {
      testsupport::httpReply(body),
      testsupport::chunkedReply(body, 7),
      testsupport::chunkedReply(body, 1000),
      // Bare line feeds, mixed-case names, blanks around values.
      "HTTP/1.1 200 OK\ncontent-LENGTH:  5 \n\n<a/>\n",
      // Chunk extensions, upper-case hex, a trailer.
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\nA;name=x\r\n0123456789\r\n0\r\nX-T: 1\r\n\r\n",
      // Transfer-Encoding wins over Content-Length.
      "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 204 No Content\r\n\r\n",
      "HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n",
      // An interim reply, then the real one.
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
      "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok",
      "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n<p>no</p>",
  };
  for (const std::string& reply : replies) {
    SCOPED_TRACE(reply);
    EXPECT_EQ(bytesUntilComplete(reply), reply.size());
    ReplyFraming framing;
    framing.feed(reply.data(), reply.size());
    EXPECT_TRUE(framing.complete());
  }
}

TEST(ReplyFraming, ReplyWithoutFollowableFramingEndsOnlyAtClose) {
  const std::string replies[] = {
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<a/>",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n<a/>",
      "HTTP/1.1 200 OK\r\nContent-Length: 4x\r\n\r\n<a/>",
      "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\n<a/>x",
      "HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n<a/>",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n<a/>\r\n0\r\n\r\n",
      // Chunk data not followed by its line break.
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX\r\n0\r\n\r\n",
      "HTTP/1.1 101 Switching Protocols\r\n\r\n",
      "HTTP/1.1 2x0 OK\r\nContent-Length: 0\r\n\r\n",
      "HTTP/1.1 200OK\r\nContent-Length: 0\r\n\r\n",
      "no status line\r\nContent-Length: 0\r\n\r\n",
      "<appinfo><current_version>0.2</current_version></appinfo>",
      "HTTP/1.1 200 OK\r\nBroken header line\r\nContent-Length: 0\r\n\r\n",
  };
  for (const std::string& reply : replies) {
    ReplyFraming framing;
    framing.feed(reply.data(), reply.size());
    EXPECT_FALSE(framing.complete()) << reply;
    EXPECT_TRUE(framing.endsAtClose()) << reply;
  }
}

TEST(ReplyFraming, GivesUpOnAnEndlessHeaderLine) {
  ReplyFraming framing;
  const std::string start = "HTTP/1.1 200 OK\r\nX: ";
  framing.feed(start.data(), start.size());
  const std::string filler(100 * 1024, 'a');
  framing.feed(filler.data(), filler.size());
  EXPECT_TRUE(framing.endsAtClose());
}

}  // namespace
