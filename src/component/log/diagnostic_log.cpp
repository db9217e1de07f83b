#include "component/log/diagnostic_log.h"

#include <cstdio>
#include <cstring>


namespace component {

// The base log: a valid log that records nothing.
DiagnosticLog::~DiagnosticLog() = default;
void DiagnosticLog::lastErrorXml(StringBuffer&) {}
void DiagnosticLog::lastErrorHtml(StringBuffer&) {}
void DiagnosticLog::lastErrorText(StringBuffer&) {}
bool DiagnosticLog::logError(const char*) { return true; }
bool DiagnosticLog::logInfo(const char*) { return true; }
bool DiagnosticLog::logXml(const char*) { return true; }
bool DiagnosticLog::clearLog() { return true; }
bool DiagnosticLog::enterContext(const char*, bool) { return true; }
bool DiagnosticLog::leaveContext() { return true; }
bool DiagnosticLog::logData(const char*, const char*) { return true; }
bool DiagnosticLog::logDataLong(const char*, int32_t) { return true; }
bool DiagnosticLog::logDataHex(const char*, int32_t) { return true; }

namespace {

constexpr const char* kRootName = "QuillonLog";

std::unique_ptr<LogEntry> makeContext(const char* name) {
  auto e = std::make_unique<LogEntry>();
  e->kind = 'C';
  e->children = std::make_unique<std::vector<std::unique_ptr<LogEntry>>>();
  e->name = std::make_unique<StringBuffer>(name);
  return e;
}

// Names of data entries: trimmed, inner blanks turned into underscores.
StringBuffer prepareName(const char* name) {
  StringBuffer n(name);
  n.trim();
  n.replaceAll(" ", "_");
  return n;
}

void indent(StringBuffer& out, int depth) {
  for (int i = 0; i < depth; ++i) out.append("  ");
}

// XML text is wrapped in CDATA when it holds markup characters, unless it
// already carries a CDATA section of its own.
void appendXmlText(StringBuffer& out, const StringBuffer& text) {
  const bool hasCdata = text.contains("<![CDATA[") && text.contains("]]>");
  const char* s = text.getString();
  const bool needsWrap = !hasCdata && std::strpbrk(s, "\n\t&><") != nullptr;
  if (needsWrap) out.append("<![CDATA[");
  out.appendBuffer(text);
  if (needsWrap) out.append("]]>");
}

void appendHtmlEscaped(StringBuffer& out, const StringBuffer& text) {
  StringBuffer copy(text);
  copy.replaceAll("&", "&amp;");
  copy.replaceAll("<", "&lt;");
  copy.replaceAll(">", "&gt;");
  copy.replaceAll("\"", "&quot;");
  out.appendBuffer(copy);
}

// Whether an entry shows in a rendering: a context with its name and list, or
// a text (a pair with its name too).
bool renders(const LogEntry& e) {
  if (e.kind == 'C') return e.name && e.children;
  return e.text && (e.kind != 'T' || e.name);
}

// The text form: two blanks of indentation per level.
void renderText(const LogEntry& e, int depth, StringBuffer& out) {
  if (!renders(e)) return;
  indent(out, depth);
  if (e.kind == 'C') {
    out.appendBuffer(*e.name);
    out.append(":\r\n");
    for (const auto& child : *e.children) renderText(*child, depth + 1, out);
    return;
  }
  if (e.kind == 'T') {
    out.appendBuffer(*e.name);
    out.append(": ");
  }
  out.appendBuffer(*e.text);
  out.append("\r\n");
}

void appendXmlElement(StringBuffer& out, const char* tag, const StringBuffer& text) {
  out.append("<");
  out.append(tag);
  out.append(">");
  appendXmlText(out, text);
  out.append("</");
  out.append(tag);
  out.append(">\r\n");
}

// The XML form: contexts and pairs as elements named after them, errors and
// information as <error> and <info>, raw lines as they are.
void renderXml(const LogEntry& e, StringBuffer& out) {
  if (!renders(e)) return;
  if (e.kind == 'C') {
    out.append("<");
    out.appendBuffer(*e.name);
    out.append(">\r\n");
    for (const auto& child : *e.children) renderXml(*child, out);
    out.append("</");
    out.appendBuffer(*e.name);
    out.append(">\r\n");
  } else if (e.kind == 'X') {
    out.appendBuffer(*e.text);
    out.append("\r\n");
  } else {
    appendXmlElement(out, e.kind == 'T' ? e.name->getString() : e.kind == 'E' ? "error" : "info", *e.text);
  }
}

// The HTML form: contexts as blockquotes, every other entry as a line.
void renderHtml(const LogEntry& e, StringBuffer& out) {
  if (!renders(e)) return;
  if (e.kind == 'C') {
    out.appendBuffer(*e.name);
    out.append(":<blockquote>\r\n");
    for (const auto& child : *e.children) renderHtml(*child, out);
    out.append("</blockquote>\r\n");
    return;
  }
  if (e.kind == 'T') {
    out.appendBuffer(*e.name);
    out.append(": ");
  }
  appendHtmlEscaped(out, *e.text);
  out.append("<br>\r\n");
}

}  // namespace

RecordingLog::RecordingLog() { clearLog(); }

RecordingLog::~RecordingLog() = default;

bool RecordingLog::clearLog() {
  stack_.clear();
  root_ = makeContext(kRootName);
  stack_.push_back(root_.get());
  return true;
}

bool RecordingLog::addText(char kind, const char* text) {
  if (!text) return true;
  auto e = std::make_unique<LogEntry>();
  e->kind = kind;
  e->text = std::make_unique<StringBuffer>(text);
  innermost()->children->push_back(std::move(e));
  return true;
}

bool RecordingLog::addPair(const char* name, const char* value) {
  StringBuffer prepared = prepareName(name);
  if (prepared.getSize() == 0 || !value) return false;
  auto e = std::make_unique<LogEntry>();
  e->kind = 'T';
  e->name = std::make_unique<StringBuffer>(prepared);
  e->text = std::make_unique<StringBuffer>(value);
  innermost()->children->push_back(std::move(e));
  return true;
}

bool RecordingLog::logError(const char* text) { return addText('E', text); }
bool RecordingLog::logInfo(const char* text) { return addText('I', text); }
bool RecordingLog::logXml(const char* text) { return addText('X', text); }

bool RecordingLog::enterContext(const char* name, bool) {
  auto e = makeContext(name ? name : "");
  LogEntry* raw = e.get();
  innermost()->children->push_back(std::move(e));
  stack_.push_back(raw);
  return true;
}

bool RecordingLog::leaveContext() {
  if (stack_.size() > 1) stack_.pop_back();
  // A context that recorded nothing is pruned, except directly below the root.
  if (stack_.size() > 1) {
    auto& children = *innermost()->children;
    if (!children.empty()) {
      const LogEntry& last = *children.back();
      if (last.kind == 'C' && last.children && last.children->empty()) children.pop_back();
    }
  }
  return true;
}

bool RecordingLog::logData(const char* name, const char* value) { return addPair(name, value); }

bool RecordingLog::logDataLong(const char* name, int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  return addPair(name, buf);
}

bool RecordingLog::logDataHex(const char* name, int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(value));
  return addPair(name, buf);
}

void RecordingLog::lastErrorText(StringBuffer& out) {
  out.clear();
  renderText(*root_, 0, out);
}

void RecordingLog::lastErrorXml(StringBuffer& out) {
  out.clear();
  renderXml(*root_, out);
}

void RecordingLog::lastErrorHtml(StringBuffer& out) {
  out.clear();
  renderHtml(*root_, out);
}

}  // namespace component
