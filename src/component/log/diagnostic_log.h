#pragma once
// DiagnosticLog: where every component operation records what it did and why it
// failed. The base class records nothing (for routines whose trail nobody reads);
// RecordingLog keeps a tree of nested contexts and renders it as text, XML or HTML.
#include <cstdint>
#include <memory>
#include <vector>

#include "component/base/string_buffer.h"

namespace component {

class DiagnosticLog {
 public:
  virtual ~DiagnosticLog();
  virtual void lastErrorXml(StringBuffer& out);
  virtual void lastErrorHtml(StringBuffer& out);
  virtual void lastErrorText(StringBuffer& out);
  virtual bool logError(const char* text);
  virtual bool logInfo(const char* text);
  virtual bool logXml(const char* text);
  virtual bool clearLog();
  virtual bool enterContext(const char* name, bool flag);
  virtual bool leaveContext();
  virtual bool logData(const char* name, const char* value);
  virtual bool logDataLong(const char* name, int32_t value);
  virtual bool logDataHex(const char* name, int32_t value);
};

// One node of the log tree.
struct LogEntry {
  char kind = 'I';  // C context, E error, I information, X raw XML, T name/value
  std::unique_ptr<std::vector<std::unique_ptr<LogEntry>>> children;  // contexts only
  std::unique_ptr<StringBuffer> name;                                 // contexts and pairs
  std::unique_ptr<StringBuffer> text;
};

class RecordingLog : public DiagnosticLog {
 public:
  RecordingLog();
  ~RecordingLog() override;

  void lastErrorXml(StringBuffer& out) override;
  void lastErrorHtml(StringBuffer& out) override;
  void lastErrorText(StringBuffer& out) override;
  bool logError(const char* text) override;
  bool logInfo(const char* text) override;
  bool logXml(const char* text) override;
  bool clearLog() override;
  bool enterContext(const char* name, bool flag) override;
  bool leaveContext() override;
  bool logData(const char* name, const char* value) override;
  bool logDataLong(const char* name, int32_t value) override;
  bool logDataHex(const char* name, int32_t value) override;

 private:
  bool addText(char kind, const char* text);
  bool addPair(const char* name, const char* value);
  LogEntry* innermost() { return stack_.back(); }

  std::unique_ptr<LogEntry> root_;
  std::vector<LogEntry*> stack_;
};

// Keeps a context open for the lifetime of a scope, so every return path leaves it.
class LogContext {
 public:
  LogContext(DiagnosticLog& log, const char* name) : log_(log) { log_.enterContext(name, true); }
  ~LogContext() { log_.leaveContext(); }
  LogContext(const LogContext&) = delete;
  LogContext& operator=(const LogContext&) = delete;

 private:
  DiagnosticLog& log_;
};

}  // namespace component
