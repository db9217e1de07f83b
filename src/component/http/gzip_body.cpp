#include "component/http/gzip_body.h"

#include <zlib.h>

#include <algorithm>

#include "component/base/data_buffer.h"
#include "component/log/diagnostic_log.h"

namespace component {
namespace {

constexpr uint32_t kPiece = 16 * 1024;
// 15 window bits, plus 32: detect a gzip or zlib header on its own.
constexpr int kWindowBitsAutoDetect = 15 + 32;

}  // namespace

GunzipResult gunzip(const unsigned char* data, uint32_t size, uint32_t maxOut, DataBuffer& out, DiagnosticLog& log) {
  z_stream z{};
  if (inflateInit2(&z, kWindowBitsAutoDetect) != Z_OK) {
    log.logError("Failed to initialize gzip decompression");
    return GunzipResult::kInvalid;
  }
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = size;
  out.clear();
  unsigned char piece[kPiece];
  GunzipResult result = GunzipResult::kInvalid;
  for (;;) {
    z.next_out = piece;
    z.avail_out = kPiece;
    const int rc = inflate(&z, Z_NO_FLUSH);
    const uint32_t produced = kPiece - z.avail_out;
    if (uint64_t(out.getSize()) + produced > maxOut) {
      log.logError("Decompressed reply body exceeds the size limit");
      log.logDataLong("maxBytes", int32_t(std::min<uint32_t>(maxOut, INT32_MAX)));
      result = GunzipResult::kTooLarge;
      break;
    }
    if (produced) {
      // Grow by doubling: DataBuffer's own step of 20000 bytes would copy a
      // large body over and over.
      const uint64_t need = uint64_t(out.getSize()) + produced;
      if (need > out.getCapacity()) {
        out.ensureCapacity(uint32_t(std::min<uint64_t>(std::max<uint64_t>(need, uint64_t(out.getCapacity()) * 2), maxOut)));
      }
      out.append(piece, produced);
    }
    if (rc == Z_STREAM_END) {
      result = GunzipResult::kOk;
      break;
    }
    if (rc == Z_OK) continue;
    // With fresh output room every time, Z_BUF_ERROR means the input ran out.
    log.logError(rc == Z_BUF_ERROR ? "Gzip data ends before the end of its stream" : "Failed to decompress gzip data");
    if (z.msg) log.logData("zlibError", z.msg);
    break;
  }
  inflateEnd(&z);
  if (result != GunzipResult::kOk) out.clear();
  return result;
}

}  // namespace component
