#include "component/http/reply_header.h"

#include <gtest/gtest.h>

namespace {

using component::ReplyHeader;
using component::StringBuffer;

TEST(ReplyHeaderParse, ReadsStatusReasonLengthAndFields) {
  ReplyHeader h;
  h.parse("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 42\r\nX-Note:  two words \r\n\r\n");
  EXPECT_EQ(h.getStatusCode(), 200);
  EXPECT_STREQ(h.reasonPhrase().getString(), "OK");
  EXPECT_STREQ(h.statusLine().getString(), "HTTP/1.1 200 OK");
  EXPECT_TRUE(h.hasContentLength());
  EXPECT_EQ(h.getContentLength(), 42);
  ASSERT_EQ(h.fields().size(), 3u);
  EXPECT_EQ(h.fields()[0].first, "Content-Type");
  EXPECT_EQ(h.fields()[2].second, "two words");
  StringBuffer v;
  EXPECT_TRUE(h.getField("content-TYPE", v));
  EXPECT_STREQ(v.getString(), "text/xml");
  EXPECT_FALSE(h.getField("Transfer-Encoding", v));
}

TEST(ReplyHeaderParse, FirstOfRepeatedFieldsWinsAndFoldedLinesJoin) {
  ReplyHeader h;
  h.parse("HTTP/1.1 200 OK\r\nX-A: one\r\nx-a: two\r\nX-Long: first\r\n\tsecond\r\nNoColonLine\r\n\r\nX-After: body\r\n");
  StringBuffer v;
  ASSERT_TRUE(h.getField("X-A", v));
  EXPECT_STREQ(v.getString(), "one");
  ASSERT_TRUE(h.getField("X-Long", v));
  EXPECT_STREQ(v.getString(), "first second");
  EXPECT_FALSE(h.getField("X-After", v)) << "fields end at the empty line";
  EXPECT_EQ(h.fields().size(), 3u);
}

TEST(ReplyHeaderParse, StatusLinesThatGiveNoStatus) {
  const struct {
    const char* text;
    const char* statusLine;
  } cases[] = {
      {"ICY 200 OK\r\nContent-Length: 5\r\n\r\n", "ICY 200 OK"},
      {"http/1.1 200 OK\r\n\r\n", "http/1.1 200 OK"},  // the HTTP prefix is compared exactly
      {"HTTP/1.1\r\n\r\n", "HTTP/1.1"},
      {"HTTP/1.1 abc\r\n\r\n", "HTTP/1.1 abc"},
      {"no carriage return", ""},
  };
  ReplyHeader h;
  for (const auto& c : cases) {
    h.parse(c.text);
    EXPECT_EQ(h.getStatusCode(), 0) << c.text;
    EXPECT_STREQ(h.statusLine().getString(), c.statusLine);
    EXPECT_FALSE(h.hasContentLength()) << c.text;
  }
}

TEST(ReplyHeaderParse, MissingReasonPhraseTakesTheNextLinesValue) {
  ReplyHeader h;
  h.parse("HTTP/1.1 204\r\nServer: tiny\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(h.getStatusCode(), 204);
  EXPECT_STREQ(h.reasonPhrase().getString(), "tiny");
  EXPECT_TRUE(h.hasContentLength());
  EXPECT_EQ(h.getContentLength(), 0);
  StringBuffer v;
  EXPECT_FALSE(h.getField("Server", v)) << "the line that served as reason phrase is not a field";
  EXPECT_TRUE(h.getField("Content-Length", v));
}

TEST(ReplyHeaderParse, ContentLengthIsFoundInAnyCaseAndReadLikeDecimal) {
  const struct {
    const char* line;
    int32_t length;
  } cases[] = {
      {"content-length:    1200", 1200},
      {"Content-Length: many", 0},
      {"Content-Length: -7", -7},
      {"Content-Length: 99999999999999999999", INT32_MAX},  // clamped, not wrapped
  };
  ReplyHeader h;
  for (const auto& c : cases) {
    h.parse((std::string("HTTP/1.1 200 OK\r\n") + c.line + "\r\n\r\n").c_str());
    EXPECT_TRUE(h.hasContentLength()) << c.line;
    EXPECT_EQ(h.getContentLength(), c.length) << c.line;
  }
}

TEST(ReplyHeaderParse, ParsingAgainResetsEverything) {
  ReplyHeader h;
  h.parse("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 3\r\nA: b\r\n\r\n");
  h.parse("garbage");
  EXPECT_EQ(h.getStatusCode(), 0);
  EXPECT_FALSE(h.hasContentLength());
  EXPECT_EQ(h.getContentLength(), 0);
  EXPECT_TRUE(h.fields().empty());
  EXPECT_STREQ(h.reasonPhrase().getString(), "");
}

TEST(HeaderFieldParser, AcceptsBareLineFeeds) {
  component::HeaderFields fields;
  component::parseHeaderFields("A: 1\nB:2\n\nC: 3\n", fields);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[1].first, "B");
  EXPECT_EQ(fields[1].second, "2");
}

}  // namespace
