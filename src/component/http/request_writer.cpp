// The multipart POST on the wire: header, form fields, files streamed in chunks,
// closing boundary, with a Content-Length worked out before the first byte.
#include <algorithm>
#include <cstring>
#include <string>

#include "component/base/file_helpers.h"
#include "component/http/boundary.h"
#include "component/http/content_types.h"
#include "component/http/http_upload_impl.h"
#include "component/net/progress_monitor.h"
#include "platform/files.h"

namespace component {
namespace {

// The header lines between the user agent and the boundary; the header is
// composed from its pieces, so no text of the host, path or boundary can be
// taken for a placeholder. They announce keep-alive, as they always have,
// although each run closes its connection after the reply.
constexpr const char* kHeaderMiddle =
    "\r\n"
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*;q=0.5\r\n"
    "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n"
    "Keep-Alive: 300\r\n"
    "Connection: keep-alive\r\n"
    "Content-Type: multipart/form-data; boundary=";

constexpr size_t kMaxCurrentDir = 498;

// A double quote, CR or LF in a file name would end the filename parameter or
// the header line and let the name inject header text; they go out
// percent-encoded, as browsers send them.
void appendFileNameParameter(const char* name, StringBuffer& out) {
  for (const char* p = name; *p; ++p) {
    switch (*p) {
      case '"': out.append("%22"); break;
      case '\r': out.append("%0D"); break;
      case '\n': out.append("%0A"); break;
      default: out.appendBytes(p, 1);
    }
  }
}

std::string decimal(uint64_t value) { return std::to_string(value); }

bool writeAll(ByteSink& sink, const void* data, size_t size, ProgressMonitor* monitor) {
  return sink.write(data, 1, size, monitor) >= size;
}

}  // namespace

void HttpUploadImpl::buildFilePartHeader(const FormField& file, const StringBuffer& boundary, StringBuffer& out) const {
  StringBuffer fileName(file.value());
  fileName.trim();
  fileName.keepFileName();

  out.clear();
  out.append("--");
  out.appendBuffer(boundary);
  out.append("\r\nContent-Disposition: form-data; name=\"");
  out.append(file.name());
  out.append("\"; filename=\"");
  appendFileNameParameter(fileName.getString(), out);
  out.append("\"\r\n");
  if (const char* dot = std::strrchr(fileName.getString(), '.')) {
    out.append("Content-Type: ");
    out.append(contentTypeForExtension(dot + 1));
    out.append("\r\n");
  }
  out.append("\r\n");
}

bool HttpUploadImpl::sendRequest() {
  if (!byteSink_) {
    log_.logError("Internal Error: No output object for upload.");
    return false;
  }
  statusCode_ = 0;
  statusLine_.clear();
  replyHeaderText_.clear();
  replyBody_.clear();

  StringBuffer boundary;
  makeBoundary(env_.tickCount(), boundary);
  StringBuffer fields;
  composeFields(boundary, fields);
  std::vector<uint64_t> fileSizes;
  uint64_t bodyLength = 0;
  if (!measureBody(boundary, fields, fileSizes, &bodyLength)) return false;
  StringBuffer header;
  composeHeader(boundary, bodyLength, header);

  std::unique_ptr<ProgressMonitor> monitor;
  if (callback_) monitor = std::make_unique<ProgressMonitor>(callback_, int64_t(bodyLength), env_);
  if (connection_) {
    connection_->setHeartbeatMs(heartbeatMs_);
    // The pieces are gathered into large sends, and the system need not send
    // a packet for each: more follows until the closing boundary.
    connection_->setMoreToFollow(true);
  }
  if (!writeParts(header, fields, boundary, fileSizes, monitor.get())) return false;
  log_.logInfo("Fetching HTTP response...");
  return readReply();
}

void HttpUploadImpl::composeFields(const StringBuffer& boundary, StringBuffer& out) const {
  for (const auto& field : formFields_) {
    out.append("--");
    out.appendBuffer(boundary);
    out.append("\r\nContent-Disposition: form-data; name=\"");
    out.append(field->name());
    out.append("\"\r\n\r\n");
    out.append(field->value());
    out.append("\r\n");
  }
}

bool HttpUploadImpl::measureBody(const StringBuffer& boundary, const StringBuffer& fields,
                                 std::vector<uint64_t>& fileSizes, uint64_t* bodyLength) {
  // 64-bit: the files together may pass 4 GiB although each stays below it.
  uint64_t length = uint64_t(fields.getSize()) + uint64_t(boundary.getSize()) + 6;  // "--" B "--\r\n" at the end
  bool readable = true;
  StringBuffer partHeader;
  for (const auto& file : files_) {
    buildFilePartHeader(file->field, boundary, partHeader);
    length += uint64_t(partHeader.getSize()) + 2;  // the part header and the CRLF after the data
    bool ok = false;
    fileSizes.push_back(getFileSize(file->path, nullptr, &ok));
    length += fileSizes.back();
    if (ok) continue;
    readable = false;
    log_.logError("Failed to get file size information");
    log_.logData("filename", file->field.value());
    const uint64_t fullSize = getFileSize64(file->path, nullptr, &ok);
    if (ok) {
      log_.logData("reason", "The file is 4 GiB or larger; its size does not fit the request");
      log_.logData("fileSize", decimal(fullSize).c_str());
    }
  }
  if (!readable) {
    std::string dir = platform::currentDirectory();
    if (dir.size() > kMaxCurrentDir) dir.resize(kMaxCurrentDir);
    log_.logData("currentDir", dir.c_str());
    return false;
  }
  *bodyLength = length;
  return true;
}

void HttpUploadImpl::composeHeader(const StringBuffer& boundary, uint64_t bodyLength, StringBuffer& out) {
  out.append("POST ");
  // A proxy takes a plain request with the whole address in its request line,
  // and its own sign-in; a secure one goes through the tunnel unchanged.
  const bool viaProxy = proxy_.used() && !secureChannel_;
  if (viaProxy) {
    out.append("http://");
    out.append(hostName_.getUtf8());
    if (port_ != 80) out.append((":" + decimal(uint64_t(port_))).c_str());
  }
  out.append(path_.getUtf8());
  out.append(" HTTP/1.1\r\nHost: ");
  out.append(hostName_.getUtf8());
  if (viaProxy && !proxy_.authorization.empty()) {
    out.append("\r\nProxy-Authorization: ");
    out.append(proxy_.authorization.c_str());
  }
  out.append("\r\nUser-Agent: ");
  out.append(userAgent_.getAnsi());
  out.append(kHeaderMiddle);
  out.appendBuffer(boundary);
  out.append("\r\nContent-Length: ");
  out.append(decimal(bodyLength).c_str());
  out.append("\r\n\r\n");
}

bool HttpUploadImpl::writeParts(const StringBuffer& header, const StringBuffer& fields, const StringBuffer& boundary,
                                const std::vector<uint64_t>& fileSizes, ProgressMonitor* monitor) {
  const size_t headerSize = size_t(header.getSize());
  const size_t written = byteSink_->write(header.getString(), 1, headerSize, monitor);
  if (written < headerSize) {
    log_.logError("Failed to write HTTP header to output");
    log_.logDataLong("headerSize", int32_t(headerSize));
    log_.logDataLong("numWritten", int32_t(written));
    return keepEarlyReply(monitor);
  }
  ByteSink& sink = *byteSink_;
  if (!writeAll(sink, fields.getString(), size_t(fields.getSize()), monitor)) {
    return writeFailed("Failed to write params to output", monitor);
  }
  // The failed writes of the files and the closing boundary tell each other
  // apart by the number of their full stops, as they always have.
  std::vector<unsigned char> chunk(size_t(chunkSize_) + 32);  // 32 bytes to spare, as it has always had
  StringBuffer partHeader;
  for (size_t i = 0; i < files_.size(); ++i) {
    buildFilePartHeader(files_[i]->field, boundary, partHeader);
    if (!writeAll(sink, partHeader.getString(), size_t(partHeader.getSize()), monitor)) {
      return writeFailed("Failed to write to output.", monitor);
    }
    if (!sendFileData(*files_[i], fileSizes[i], chunk, monitor)) return false;
    if (!writeAll(sink, "\r\n", 2, monitor)) return writeFailed("Failed to write to output..", monitor);
  }
  std::vector<unsigned char>().swap(chunk);
  if (!writeAll(sink, "--", 2, monitor)) return writeFailed("Failed to write to output...", monitor);
  if (!writeAll(sink, boundary.getString(), size_t(boundary.getSize()), monitor)) {
    return writeFailed("Failed to write to output....", monitor);
  }
  if (connection_) connection_->setMoreToFollow(false);  // the closing piece goes out at once
  if (!writeAll(sink, "--\r\n", 4, monitor)) return writeFailed("Failed to write to output.....", monitor);
  return true;
}

bool HttpUploadImpl::writeFailed(const char* message, ProgressMonitor* monitor) {
  log_.logError(message);
  return keepEarlyReply(monitor);
}

bool HttpUploadImpl::sendFileData(FileEntry& file, uint64_t announcedSize, std::vector<unsigned char>& chunk,
                                  ProgressMonitor* monitor) {
  std::unique_ptr<FileSource> source = openForUpload(file.path, nullptr);
  if (!source) {
    log_.logError("Failed to open file for upload.");
    log_.logData("filename", file.field.value());
    return false;
  }
  if (monitor) monitor->startHeartbeats();

  // On a plain connection the system sends the chunks from the file itself:
  // they are taken from the source, not read.
  const bool fromFile = connection_ && connection_->canSendFromFile();
  // Exactly the announced size goes out: a file that grew meanwhile is cut there.
  uint64_t remaining = announcedSize;
  while (remaining > 0 && !source->atEnd()) {
    const uint32_t want = uint32_t(std::min<uint64_t>(chunkSize_, remaining));
    uint32_t got = 0;
    uint64_t at = 0;
    const bool taken =
        fromFile ? source->take(want, &at, &got) : source->read(chunk.data(), want, &got);
    if (!taken || got == 0) break;
    const bool written = fromFile ? connection_->writeFromFile(source->handle(), at, got, monitor) == got
                                  : writeAll(*byteSink_, chunk.data(), got, monitor);
    if (!written) return fileDataFailed(file, announcedSize, monitor);
    remaining -= got;
    if (monitor && monitor->checkAbort(heartbeatMs_)) {
      log_.logError("Aborted by application");
      return false;
    }
  }
  // What was taken from the file goes out now, so a file that ended early
  // fails here and says so.
  if (remaining == 0 && fromFile && !connection_->flush(monitor)) return fileDataFailed(file, announcedSize, monitor);
  if (remaining > 0) return fileBecameShorter(file, announcedSize, announcedSize - remaining);
  return true;
}

bool HttpUploadImpl::fileDataFailed(FileEntry& file, uint64_t announcedSize, ProgressMonitor* monitor) {
  bool ok = false;
  const uint64_t size = getFileSize64(file.path, nullptr, &ok);
  if (ok && size < announcedSize) return fileBecameShorter(file, announcedSize, size);
  return writeFailed("Failed to send file data.", monitor);
}

bool HttpUploadImpl::fileBecameShorter(FileEntry& file, uint64_t announcedSize, uint64_t sentSize) {
  // The body would fall short of its Content-Length and the server would wait
  // for bytes that never come.
  log_.logError("File became shorter while it was sent");
  log_.logData("filename", file.field.value());
  log_.logData("announcedSize", decimal(announcedSize).c_str());
  log_.logData("sentSize", decimal(sentSize).c_str());
  return false;
}

}  // namespace component
