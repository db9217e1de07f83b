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

bool startsGzipMember(const z_stream& z) { return z.avail_in >= 2 && z.next_in[0] == 0x1F && z.next_in[1] == 0x8B; }

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
    out.growFor(produced, maxOut);
    out.append(piece, produced);
    if (rc == Z_STREAM_END) {
      // A gzip stream may be several members, each unpacked in turn; anything
      // else after a member makes the whole body suspect.
      if (z.avail_in == 0) {
        result = GunzipResult::kOk;
        break;
      }
      if (startsGzipMember(z) && inflateReset(&z) == Z_OK) continue;
      log.logError("Bytes after the gzip data are not gzip data");
      log.logDataLong("trailingBytes", int32_t(std::min<uint32_t>(z.avail_in, INT32_MAX)));
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
