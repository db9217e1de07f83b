// The log's text, XML and HTML forms: the text is every failed upload's trail,
// and the XML form is read back to find the reason a user sees, so it must
// stay well formed whatever the entries hold.
#include "component/log/diagnostic_log.h"

#include <gtest/gtest.h>

#include <string>

#include "component/base/string_buffer.h"

namespace component {
namespace {

// Every render empties its output first; "stale" checks that.
std::string text(DiagnosticLog& log) {
  StringBuffer out("stale");
  log.lastErrorText(out);
  return out.getString();
}
std::string xml(DiagnosticLog& log) {
  StringBuffer out("stale");
  log.lastErrorXml(out);
  return out.getString();
}
std::string html(DiagnosticLog& log) {
  StringBuffer out("stale");
  log.lastErrorHtml(out);
  return out.getString();
}

TEST(RecordingLog, NestedTrailInEachForm) {
  RecordingLog log;
  log.enterContext("Connect", true);
  log.logError("Cannot get host by name.");
  log.enterContext("Inner", true);
  log.logDataLong(" the port ", 80);
  log.logXml("<raw a=\"1\"/>");
  log.leaveContext();
  log.leaveContext();
  EXPECT_EQ(text(log),
            "QuillonLog:\r\n  Connect:\r\n    Cannot get host by name.\r\n    Inner:\r\n      the_port: 80\r\n"
            "      <raw a=\"1\"/>\r\n");
  EXPECT_EQ(xml(log),
            "<QuillonLog>\r\n<Connect>\r\n<error>Cannot get host by name.</error>\r\n<Inner>\r\n"
            "<the_port>80</the_port>\r\n<raw a=\"1\"/>\r\n</Inner>\r\n</Connect>\r\n</QuillonLog>\r\n");
  EXPECT_EQ(html(log),
            "QuillonLog:<blockquote>\r\nConnect:<blockquote>\r\nCannot get host by name.<br>\r\nInner:<blockquote>\r\n"
            "the_port: 80<br>\r\n&lt;raw a=&quot;1&quot;/&gt;<br>\r\n</blockquote>\r\n</blockquote>\r\n</blockquote>\r\n");
}

// Text that could break the XML goes into CDATA, unless it carries its own.
TEST(RecordingLog, XmlWrapsMarkupInCdata) {
  const char* const cases[][2] = {
      {"a\nb", "<![CDATA[a\nb]]>"},
      {"a<b", "<![CDATA[a<b]]>"},
      {"a&b", "<![CDATA[a&b]]>"},
      {"only the closing ]]>", "<![CDATA[only the closing ]]>]]>"},
      {"letters \"quoted\"", "letters \"quoted\""},
      {"<![CDATA[a<b]]>", "<![CDATA[a<b]]>"},
  };
  for (const auto& c : cases) {
    RecordingLog log;
    log.logError(c[0]);
    EXPECT_EQ(xml(log), std::string("<QuillonLog>\r\n<error>") + c[1] + "</error>\r\n</QuillonLog>\r\n");
  }
}

// A context left empty is dropped, cascading upwards, except directly below the
// root; the root is never left; clearing drops whatever is open.
TEST(RecordingLog, ContextsAndEntries) {
  RecordingLog log;
  log.enterContext("A", true);
  log.enterContext("B", true);
  log.leaveContext();
  log.leaveContext();
  log.leaveContext();
  log.enterContext("C", true);
  log.enterContext("D", true);
  log.enterContext("E", true);
  log.leaveContext();
  log.leaveContext();
  {
    LogContext scoped(log, "F");
    log.logDataHex("sock error", -1);
  }
  log.leaveContext();
  log.logDataLong(" min ", -2147483647 - 1);
  EXPECT_EQ(text(log), "QuillonLog:\r\n  A:\r\n  C:\r\n    F:\r\n      sock_error: ffffffff\r\n  min: -2147483648\r\n");
  log.enterContext("open", true);
  log.clearLog();
  log.logError("new");
  EXPECT_EQ(text(log), "QuillonLog:\r\n  new\r\n");
}

}  // namespace
}  // namespace component
