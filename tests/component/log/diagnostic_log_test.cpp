#include "component/log/diagnostic_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "component/base/string_buffer.h"
#include "platform/clock.h"
#include "support/file_text.h"
#include "support/temp_dir.h"

namespace component {
namespace {

// Every render empties its output first; "stale" checks that.
template <void (DiagnosticLog::*Render)(StringBuffer&)>
std::string rendered(DiagnosticLog& log) {
  StringBuffer out("stale");
  (log.*Render)(out);
  return out.getString();
}
std::string text(DiagnosticLog& log) { return rendered<&DiagnosticLog::lastErrorText>(log); }
std::string xml(DiagnosticLog& log) { return rendered<&DiagnosticLog::lastErrorXml>(log); }
std::string html(DiagnosticLog& log) { return rendered<&DiagnosticLog::lastErrorHtml>(log); }

// The failed look-up of a connect, one level deeper for a nested context.
void recordNestedTrail(DiagnosticLog& log) {
  log.enterContext("Connect", true);
  log.logError("Cannot get host by name.");
  log.logData("hostname", "example.invalid");
  log.enterContext("Inner", true);
  log.logInfo("info");
  log.logDataLong("port", 80);
  log.logXml("<raw a=\"1\"/>");
  log.leaveContext();
  log.leaveContext();
}

// --- renderings ------------------------------------------------------------------

TEST(RecordingLogRender, FreshLogInAllThreeForms) {
  RecordingLog log;
  EXPECT_EQ(text(log), "QuillonLog:\r\n");
  EXPECT_EQ(xml(log), "<QuillonLog>\r\n</QuillonLog>\r\n");
  EXPECT_EQ(html(log), "QuillonLog:<blockquote>\r\n</blockquote>\r\n");
  EXPECT_EQ(log.openContextDepth(), 1u);
}

// Text indents two spaces per depth, XML nests elements without indentation,
// HTML quotes each context in a blockquote and escapes the texts.
TEST(RecordingLogRender, NestedContextsInAllThreeForms) {
  RecordingLog log;
  recordNestedTrail(log);
  EXPECT_EQ(text(log),
            "QuillonLog:\r\n"
            "  Connect:\r\n"
            "    Cannot get host by name.\r\n"
            "    hostname: example.invalid\r\n"
            "    Inner:\r\n"
            "      info\r\n"
            "      port: 80\r\n"
            "      <raw a=\"1\"/>\r\n");
  EXPECT_EQ(xml(log),
            "<QuillonLog>\r\n"
            "<Connect>\r\n"
            "<error>Cannot get host by name.</error>\r\n"
            "<hostname>example.invalid</hostname>\r\n"
            "<Inner>\r\n"
            "<info>info</info>\r\n"
            "<port>80</port>\r\n"
            "<raw a=\"1\"/>\r\n"
            "</Inner>\r\n"
            "</Connect>\r\n"
            "</QuillonLog>\r\n");
  EXPECT_EQ(html(log),
            "QuillonLog:<blockquote>\r\n"
            "Connect:<blockquote>\r\n"
            "Cannot get host by name.<br>\r\n"
            "hostname: example.invalid<br>\r\n"
            "Inner:<blockquote>\r\n"
            "info<br>\r\n"
            "port: 80<br>\r\n"
            "&lt;raw a=&quot;1&quot;/&gt;<br>\r\n"
            "</blockquote>\r\n"
            "</blockquote>\r\n"
            "</blockquote>\r\n");
}

TEST(RecordingLogRender, XmlWrapsTextHoldingLineFeedTabOrMarkupInCdata) {
  for (const char* marked : {"a\nb", "a\tb", "a&b", "a<b", "a>b"}) {
    RecordingLog log;
    log.logError(marked);
    log.logInfo(marked);
    log.logData("value", marked);
    const std::string w = std::string("<![CDATA[") + marked + "]]>";
    EXPECT_EQ(xml(log), "<QuillonLog>\r\n<error>" + w + "</error>\r\n<info>" + w + "</info>\r\n<value>" + w +
                            "</value>\r\n</QuillonLog>\r\n")
        << "text: " << marked;
  }
}

TEST(RecordingLogRender, XmlLeavesPlainTextAndOwnCdataUnwrapped) {
  RecordingLog log;
  log.logError("letters only");
  log.logError("carriage\rreturn \"quoted\" 'single'");
  log.logError("<![CDATA[a<b]]>");
  log.logError("<![CDATA[ only the opening");
  log.logError("only the closing ]]> <");
  EXPECT_EQ(xml(log),
            "<QuillonLog>\r\n"
            "<error>letters only</error>\r\n"
            "<error>carriage\rreturn \"quoted\" 'single'</error>\r\n"
            "<error><![CDATA[a<b]]></error>\r\n"
            "<error><![CDATA[<![CDATA[ only the opening]]></error>\r\n"
            "<error><![CDATA[only the closing ]]> <]]></error>\r\n"
            "</QuillonLog>\r\n");
}

TEST(RecordingLogRender, HtmlEscapesAmpersandFirstAndLeavesNamesAlone) {
  RecordingLog log;
  log.enterContext("C&D", true);
  log.logError("<\"&>");
  log.logError("already &lt; escaped");
  log.logData("a<b", "x>y");
  log.leaveContext();
  EXPECT_EQ(html(log),
            "QuillonLog:<blockquote>\r\n"
            "C&D:<blockquote>\r\n"
            "&lt;&quot;&amp;&gt;<br>\r\n"
            "already &amp;lt; escaped<br>\r\n"
            "a<b: x&gt;y<br>\r\n"
            "</blockquote>\r\n"
            "</blockquote>\r\n");
  // The XML form writes names as they are too.
  EXPECT_NE(xml(log).find("<C&D>\r\n"), std::string::npos);
}

// --- contexts ------------------------------------------------------------------------

TEST(RecordingLogContexts, LeavingWithOnlyTheRootOpenChangesNothing) {
  RecordingLog log;
  log.logInfo("kept");
  EXPECT_TRUE(log.leaveContext());
  EXPECT_TRUE(log.leaveContext());
  EXPECT_EQ(log.openContextDepth(), 1u);
  log.logInfo("still at the root");
  EXPECT_EQ(text(log), "QuillonLog:\r\n  kept\r\n  still at the root\r\n");
}

// A context left without entries is dropped, cascading upwards, except one
// directly below the root.
TEST(RecordingLogContexts, EmptyContextsArePrunedExceptDirectlyBelowTheRoot) {
  RecordingLog empty;
  empty.enterContext("A", true);
  empty.enterContext("B", true);
  EXPECT_EQ(empty.openContextDepth(), 3u);
  empty.leaveContext();
  empty.leaveContext();
  EXPECT_EQ(empty.openContextDepth(), 1u);
  EXPECT_EQ(text(empty), "QuillonLog:\r\n  A:\r\n");

  RecordingLog log;
  log.enterContext("A", true);
  log.logInfo("before");
  log.enterContext("B", true);
  log.enterContext("C", true);
  log.leaveContext();  // C pruned, B now empty
  log.leaveContext();  // B pruned
  log.enterContext("D", true);
  log.logInfo("inside D");
  log.leaveContext();  // D holds an entry: stays
  log.leaveContext();
  EXPECT_EQ(text(log), "QuillonLog:\r\n  A:\r\n    before\r\n    D:\r\n      inside D\r\n");
}

TEST(RecordingLogContexts, ClearLogDropsOpenContexts) {
  RecordingLog log;
  log.enterContext("A", true);
  log.enterContext("B", true);
  log.logError("old");
  EXPECT_TRUE(log.clearLog());
  EXPECT_EQ(log.openContextDepth(), 1u);
  EXPECT_EQ(text(log), "QuillonLog:\r\n");
  log.logError("new");
  EXPECT_EQ(text(log), "QuillonLog:\r\n  new\r\n");
}

TEST(RecordingLogContexts, LogContextLeavesOnEveryReturnPath) {
  RecordingLog log;
  DiagnosticLog& any = log;
  auto operation = [&](bool fail) {
    LogContext context(any, "BlockingUpload");
    if (fail) {
      any.logError("failed");
      return false;
    }
    return true;
  };
  EXPECT_FALSE(operation(true));
  EXPECT_EQ(log.openContextDepth(), 1u);
  EXPECT_TRUE(operation(false));
  EXPECT_EQ(log.openContextDepth(), 1u);
  EXPECT_EQ(text(log), "QuillonLog:\r\n  BlockingUpload:\r\n    failed\r\n  BlockingUpload:\r\n");
}

// --- entries ------------------------------------------------------------------------------

// Data names are trimmed with inner blanks as underscores (context names are
// used as they are); numbers are decimal or lower-case hexadecimal.
TEST(RecordingLogEntries, DataNamesAndNumbers) {
  RecordingLog log;
  EXPECT_TRUE(log.logData(" \t host name\r\n", "h"));
  EXPECT_TRUE(log.logData("a  b", "two"));
  EXPECT_TRUE(log.logDataLong(" the port ", 80));
  EXPECT_TRUE(log.logDataHex(" sock error ", 10061));
  log.logDataLong("l", -1);
  log.logDataLong("min", -2147483647 - 1);
  log.logDataHex("neg", -1);
  log.logDataHex("zero", 0);
  log.enterContext(" spaced name ", false);
  log.logInfo("x");
  log.leaveContext();
  EXPECT_EQ(text(log),
            "QuillonLog:\r\n  host_name: h\r\n  a__b: two\r\n  the_port: 80\r\n  sock_error: 274d\r\n"
            "  l: -1\r\n  min: -2147483648\r\n  neg: ffffffff\r\n  zero: 0\r\n   spaced name :\r\n    x\r\n");
}

TEST(RecordingLogEntries, BlankOrNullNamesAndNullValuesRecordNothing) {
  RecordingLog log;
  EXPECT_FALSE(log.logData(" \t\r\n ", "value"));
  EXPECT_FALSE(log.logData("", "value"));
  EXPECT_FALSE(log.logData(nullptr, "value"));
  EXPECT_FALSE(log.logData("name", nullptr));
  EXPECT_FALSE(log.logDataLong("   ", 1));
  EXPECT_FALSE(log.logDataHex(nullptr, 1));
  log.logTimestamp("  ");
  EXPECT_TRUE(log.logError(nullptr)) << "a null text is ignored, not refused";
  EXPECT_TRUE(log.logInfo(nullptr));
  EXPECT_TRUE(log.logXml(nullptr));
  EXPECT_EQ(text(log), "QuillonLog:\r\n");
  EXPECT_TRUE(log.logData("empty", ""));
  EXPECT_EQ(text(log), "QuillonLog:\r\n  empty: \r\n");
}

TEST(RecordingLogEntries, TimestampIsTheTickCountInHex) {
  RecordingLog log;
  const uint32_t before = platform::tickCount();
  log.logTimestamp(" start time ");
  const uint32_t after = platform::tickCount();
  const std::string t = text(log);
  const std::string prefix = "QuillonLog:\r\n  start_time: ";
  ASSERT_EQ(t.compare(0, prefix.size(), prefix), 0) << t;
  const std::string value = t.substr(prefix.size(), t.size() - prefix.size() - 2);
  ASSERT_FALSE(value.empty());
  EXPECT_EQ(value.find_first_not_of("0123456789abcdef"), std::string::npos) << value;
  const uint32_t stamp = uint32_t(std::strtoul(value.c_str(), nullptr, 16));
  EXPECT_LE(stamp - before, after - before) << "wrap-aware: the stamp lies between the two readings";
}

// --- saving and the base log ---------------------------------------------------------------

TEST(RecordingLogSave, SaveWritesExactlyTheXmlFormOrFails) {
  testsupport::TempDir dir;
  const std::string path = dir.file("lasterror.xml");
  RecordingLog log;
  recordNestedTrail(log);
  log.logError("tab\there");
  EXPECT_TRUE(log.saveLastErrorXml(nullptr, path.c_str()));
  EXPECT_EQ(testsupport::readFileBytes(path), xml(log));
  log.logError("more");
  EXPECT_TRUE(log.saveLastErrorXml("ignored", path.c_str()));
  EXPECT_EQ(testsupport::readFileBytes(path), xml(log));

  RecordingLog small;
  small.logError("x");
  EXPECT_FALSE(small.saveLastErrorXml(nullptr, dir.file("no-such-folder/lasterror.xml").c_str()));
  EXPECT_FALSE(small.saveLastErrorXml(nullptr, ""));
  EXPECT_EQ(text(small), "QuillonLog:\r\n  x\r\n") << "the writer's failure goes to no log";
}

TEST(DiagnosticLogBase, RecordsNothingAndAcceptsEverything) {
  testsupport::TempDir dir;
  DiagnosticLog log;
  recordNestedTrail(log);
  EXPECT_TRUE(log.logData("  ", nullptr));
  EXPECT_TRUE(log.leaveContext());
  EXPECT_EQ(text(log), "stale") << "renders leave their output untouched";
  EXPECT_EQ(xml(log), "stale");
  EXPECT_EQ(html(log), "stale");
  EXPECT_TRUE(log.saveLastErrorXml(nullptr, dir.file("base.xml").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir.file("base.xml")));
}

}  // namespace
}  // namespace component
