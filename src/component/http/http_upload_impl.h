#pragma once
// HttpUploadImpl: the working object behind HttpUpload. It holds the settings,
// form fields and files of an upload, runs one blocking upload over one fresh
// TCP connection (connect, multipart request, reply, close) and keeps the reply
// until the next run. Every step writes to the object's own log; the log always
// holds the trail of the last run.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/base/data_buffer.h"
#include "component/base/encoded_string.h"
#include "component/base/string_buffer.h"
#include "component/http/http_upload.h"
#include "component/net/socket_connection.h"
#include "platform/env.h"

namespace component {

class ProgressCallback;
class ReplyHeader;

// A name and a value in UTF-8; each exists only when the text given was not empty.
struct FormField {
  FormField(EncodedString& name, EncodedString& value);
  const char* name() const { return name_ ? name_->getString() : ""; }
  const char* value() const { return value_ ? value_->getString() : ""; }

  std::unique_ptr<StringBuffer> name_;
  std::unique_ptr<StringBuffer> value_;
};

// A file to send: its form field (the path in UTF-8, from which the part's file
// name comes) and the path as it was given, which is what the file is opened
// by. A POSIX file name need not be valid in the code set, and its UTF-8 form
// alone could then not find the file again.
struct FileEntry {
  FileEntry(EncodedString& fieldName, EncodedString& localPath) : field(fieldName, localPath), path(localPath) {}
  FormField field;
  EncodedString path;
};

class HttpUploadImpl : public ComponentObject {
 public:
  // See HttpUpload.
  HttpUploadImpl(platform::Env& env, ChannelMaker channels);
  ~HttpUploadImpl() override;
  HttpUploadImpl(const HttpUploadImpl&) = delete;
  HttpUploadImpl& operator=(const HttpUploadImpl&) = delete;

  platform::CodeSet codeSet() const { return env_.codeSet(); }

  // Fields and files are sent in every later run; nothing removes them.
  void addParam(EncodedString& name, EncodedString& value);
  void addFileReference(EncodedString& fieldName, EncodedString& localPath);

  // One run under the log context "BlockingUpload": true when the request was
  // sent and a reply with a status code was read. `callback` (may be null) is
  // borrowed for the run only.
  bool blockingUpload(ProgressCallback* callback);

  // The request over the current byte sink, then readReply.
  bool sendRequest();
  // The reply over the current connection: header (interim replies skipped),
  // then the body in whichever framing it comes (without framing: until the
  // server closes), unpacked when it is gzip data.
  bool readReply();
  bool readReplyBody(const ReplyHeader& header);

  EncodedString& hostName() { return hostName_; }
  EncodedString& path() { return path_; }
  void setPort(int port) { port_ = port; }
  // TLS for the runs' connections, trusting the certificates of the PEM file
  // `caFile` (empty: the system's roots).
  void setSecureChannel(bool on) { secureChannel_ = on; }
  void setCaFile(const std::string& path) { caFile_ = path; }
  // The HTTP proxy of the runs' connections (a host of "": none).
  void setProxy(const ProxyHop& proxy) { proxy_ = proxy; }
  void setConnectTimeoutMs(uint32_t ms) { connectTimeoutMs_ = ms; }
  // The send and receive idle limit of each run's connection (0: its default).
  void setIdleLimitMs(uint32_t ms) { idleLimitMs_ = ms; }
  // The largest piece of file data read and sent at once (2048 unless set).
  void setChunkSize(uint32_t bytes) { chunkSize_ = bytes ? bytes : 1; }

  DataBuffer& replyBody() { return replyBody_; }
  EncodedString& replyHeaderText() { return replyHeaderText_; }
  int32_t statusCode() const { return statusCode_; }
  // The status line of the last reply, without its line end ("" when none).
  const StringBuffer& statusLine() const { return statusLine_; }

  void setReplyLimits(const ReplyLimits& limits) { limits_ = limits; }

 private:
  void releaseConnection();

  // Request composition (request_writer.cpp): the form fields' text; the body's
  // length, with every file's size (false, logged, when a file cannot be
  // read); the header; then every part on the wire.
  void composeFields(const StringBuffer& boundary, StringBuffer& out) const;
  bool measureBody(const StringBuffer& boundary, const StringBuffer& fields, std::vector<uint64_t>& fileSizes,
                   uint64_t* bodyLength);
  void composeHeader(const StringBuffer& boundary, uint64_t bodyLength, StringBuffer& out);
  bool writeParts(const StringBuffer& header, const StringBuffer& fields, const StringBuffer& boundary,
                  const std::vector<uint64_t>& fileSizes, ProgressMonitor* monitor);
  void buildFilePartHeader(const FormField& file, const StringBuffer& boundary, StringBuffer& out) const;
  bool sendFileData(FileEntry& file, uint64_t announcedSize, std::vector<unsigned char>& chunk,
                    ProgressMonitor* monitor);

  // A write of the request failed: logs `message`, keeps an early reply.
  bool writeFailed(const char* message, ProgressMonitor* monitor);
  // A write of a file's data failed: because the file became shorter than
  // announced, or as writeFailed.
  bool fileDataFailed(FileEntry& file, uint64_t announcedSize, ProgressMonitor* monitor);
  bool fileBecameShorter(FileEntry& file, uint64_t announcedSize, uint64_t sentSize);

  // Reply reception (reply_reader.cpp): the final reply's header, past the
  // interim ones, into replyHeaderText_; and the gzip body unpacked in place
  // (false when it unpacks beyond the limit).
  bool receiveFinalHeader();
  bool unpackBody();
  SocketConnection::MatchResult receiveHeader(EncodedString& headerText);
  void logReceiveFailure(const char* message);
  // A body receive that the callback stopped: logs why, returns false.
  bool bodyReceiveStopped(const char* message);
  bool readChunkedBody();
  bool readBodyUntilClosed();
  // After a failed send: reads, briefly, a reply the server sent before the
  // request was complete, so its status and body reach the caller. Returns
  // false: the run has failed whatever came.
  bool keepEarlyReply(ProgressMonitor* monitor);

  platform::Env& env_;
  ChannelMaker channels_;
  std::vector<std::unique_ptr<FormField>> formFields_;
  std::vector<std::unique_ptr<FileEntry>> files_;
  ProgressCallback* callback_ = nullptr;
  ByteSink* byteSink_ = nullptr;
  std::unique_ptr<SocketConnection> connection_;
  uint32_t chunkSize_ = 2048;
  uint32_t connectTimeoutMs_ = 30000;
  uint32_t idleLimitMs_ = 0;
  uint32_t heartbeatMs_ = 250;
  EncodedString userAgent_;
  EncodedString hostName_;
  int port_ = 80;
  bool secureChannel_ = false;
  std::string caFile_;
  ProxyHop proxy_;
  EncodedString path_;
  DataBuffer replyBody_;
  EncodedString replyHeaderText_;
  int32_t statusCode_ = 0;
  StringBuffer statusLine_;

  ReplyLimits limits_;
};

}  // namespace component
