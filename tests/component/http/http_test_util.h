#pragma once
// Shared helpers of the HTTP component tests: bytes with known content, a byte
// sink that captures (and can refuse) what the request writer sends, the fixed
// request header lines, masking of the random boundary, and gzip data.
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>

#include "component/http/http_upload.h"
#include "component/http/http_upload_impl.h"
#include "component/net/socket_connection.h"

namespace httptest {

// Deterministic bytes covering every value 0..255, different for each seed.
inline std::string patternBytes(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = char(x & 0xFF);
  }
  return out;
}

inline std::string logText(component::HttpUploadImpl& up) {
  component::StringBuffer out;
  up.lastErrorText(out);
  return out.getString();
}

inline std::string logText(component::HttpUpload& up) {
  std::string out;
  up.lastErrorText(out);
  return out;
}

inline std::string bodyOf(component::HttpUploadImpl& up) {
  component::DataBuffer& b = up.replyBody();
  return std::string(reinterpret_cast<const char*>(b.getData()), b.getSize());
}

// The request header as it must appear on the wire, boundary masked.
inline std::string expectedHeader(const std::string& host, const std::string& path, uint64_t contentLength) {
  return "POST " + path + " HTTP/1.1\r\n" +
         "Host: " + host + "\r\n" +
         "User-Agent: QuillonUpload/2.0 (https://flingpost.kestrova.com)\r\n"
         "Accept: text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*;q=0.5\r\n"
         "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n"
         "Keep-Alive: 300\r\n"
         "Connection: keep-alive\r\n"
         "Content-Type: multipart/form-data; boundary=BOUNDARY\r\n"
         "Content-Length: " + std::to_string(contentLength) + "\r\n"
         "\r\n";
}

inline std::string fieldPart(const std::string& name, const std::string& value) {
  return "--BOUNDARY\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

// A file part up to its data; `type` empty means no Content-Type line.
inline std::string filePartHeader(const std::string& field, const std::string& fileName, const std::string& type) {
  std::string s = "--BOUNDARY\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + fileName + "\"\r\n";
  if (!type.empty()) s += "Content-Type: " + type + "\r\n";
  return s + "\r\n";
}

inline const char* closingBoundary() { return "--BOUNDARY--\r\n"; }

// The boundary announced in the header of `request`, or "" when none.
inline std::string boundaryOf(const std::string& request) {
  const std::string key = "boundary=";
  const size_t at = request.find(key);
  if (at == std::string::npos) return "";
  const size_t end = request.find("\r\n", at);
  return request.substr(at + key.size(), end - at - key.size());
}

// Every occurrence of the announced boundary replaced by "BOUNDARY".
inline std::string maskBoundary(const std::string& request) {
  const std::string boundary = boundaryOf(request);
  if (boundary.empty()) return request;
  std::string out;
  size_t from = 0;
  for (size_t at; (at = request.find(boundary, from)) != std::string::npos; from = at + boundary.size()) {
    out.append(request, from, at - from);
    out += "BOUNDARY";
  }
  out.append(request, from, std::string::npos);
  return out;
}

// Captures everything written. `failAtWrite` (0-based) makes that write report 0;
// `onWrite` runs before each write is taken.
class CaptureSink : public component::ByteSink {
 public:
  using component::ByteSink::write;
  size_t write(const void* data, size_t itemSize, size_t count, component::ProgressMonitor*) override {
    const size_t index = writes++;
    if (onWrite) onWrite(index);
    if (int(index) == failAtWrite) return 0;
    bytes.append(static_cast<const char*>(data), itemSize * count);
    return count;
  }

  std::string bytes;
  size_t writes = 0;
  int failAtWrite = -1;
  std::function<void(size_t)> onWrite;
};

// `data` as one gzip stream.
inline std::string gzipOf(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, uLong(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace httptest
