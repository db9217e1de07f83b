#pragma once
// The upload component's public face: HttpUpload configures and runs one
// multipart upload; ByteData receives the reply body. Text arguments are 8-bit
// text in the process's ANSI code set; they go on the wire as UTF-8.
#include <cstdint>
#include <memory>
#include <string>

#include "component/net/socket_channel.h"
#include "platform/env.h"

namespace component {

class DataBuffer;
class HttpUploadImpl;
class ProgressCallback;

// Bounds on what a reply may make the reader hold or do. A reply that passes one
// ends the read with false and a log entry.
struct ReplyLimits {
  uint32_t maxHeaderBytes = 1024 * 1024;  // a header (or a chunk-size line) without its end
  uint32_t maxInterimReplies = 100;       // "100 Continue" replies before the final one
  uint32_t maxBodyBytes = 256u * 1024 * 1024;  // the body, framed or unpacked
};

class ByteData {
 public:
  ByteData();
  virtual ~ByteData();
  ByteData(const ByteData&) = delete;
  ByteData& operator=(const ByteData&) = delete;

  void appendChar(unsigned char b);
  // Never null, even when empty; valid until the next change of the object.
  const unsigned char* getData();
  uint32_t getSize() const;
  DataBuffer& buffer() { return *bytes_; }

 private:
  std::unique_ptr<DataBuffer> bytes_;
};

class HttpUpload {
 public:
  // The clock, socket start-up and code set of the upload are those of `env`.
  // Each run connects through a channel that `channels` makes (null: a socket
  // to the host), so a caller may bring its own transport.
  explicit HttpUpload(platform::Env& env = platform::Env::standard(), ChannelMaker channels = nullptr);
  virtual ~HttpUpload();
  HttpUpload(const HttpUpload&) = delete;
  HttpUpload& operator=(const HttpUpload&) = delete;

  void setHostname(const char* host);
  void setPath(const char* path);
  // The TCP port (80 unless set); the Host line carries the bare host name.
  void setPort(int port);
  // TLS, with the server's certificate checked against the host name and the
  // trusted roots: those of the PEM file `caFile`, or the system's when it is
  // empty. Off unless set.
  void setSecure(bool on);
  void setCaFile(const char* caFile);
  // Through the HTTP proxy `host`:`port` (a null or empty host: direct), with
  // `authorization` ("Basic ...", or empty) for its Proxy-Authorization field.
  void setProxy(const char* host, int port, const char* authorization);
  // How long the transfer may go without a byte moving before the run fails;
  // 0 (the default) keeps the connection's own limit of 5000 s.
  void setIdleLimitMs(uint32_t ms);
  // How long the connect may take (30000 ms unless set; 0: no limit).
  void setConnectTimeoutMs(uint32_t ms);
  // The largest piece of file data read and sent at once (2048 unless set).
  void setChunkSize(uint32_t bytes);
  void setReplyLimits(const ReplyLimits& limits);
  // How the text arguments of later calls are read: as text in the ANSI code
  // set (false, the default) or as UTF-8. A file is opened by its path in the
  // form given, so a UTF-8 path names files that the code set cannot spell.
  void setUtf8(bool on) { utf8_ = on; }
  void addParam(const char* name, const char* value);
  void addFileReference(const char* fieldName, const char* localPath);

  // Runs the upload: true when the request was sent and a reply with a status
  // code was read. With a callback the caller can follow and abort the run.
  bool blockingUpload();
  bool blockingUpload(ProgressCallback* callback);

  // Empties `out`, then copies the reply body into it.
  void getResponseBody(ByteData& out);
  // The status code of the last reply (0 when none was read) and its status
  // line ("HTTP/1.1 413 Request Entity Too Large"; "" when none). A reply that
  // the server sent before the request was complete is kept although the run
  // failed: these and getResponseBody then describe it.
  int statusCode() const;
  std::string statusLine() const;
  // The last reply's header text, up to and including its empty line.
  std::string replyHeaderText();

  // The trail of the last run, as text or XML.
  void lastErrorText(std::string& out);
  void lastErrorXml(std::string& out);

 private:
  std::unique_ptr<HttpUploadImpl> impl_;
  bool utf8_ = false;
};

}  // namespace component
