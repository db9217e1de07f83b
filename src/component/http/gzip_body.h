#pragma once
// Unpacking of a gzip reply body.
#include <cstdint>

namespace component {

class DataBuffer;
class DiagnosticLog;

enum class GunzipResult {
  kOk,        // `out` holds the whole unpacked stream
  kInvalid,   // not a complete gzip stream; the reason is in the log
  kTooLarge,  // it unpacks to more than `maxOut` bytes; the reason is in the log
};

// Unpacks a complete gzip stream of one or more members (or one zlib stream),
// detected by its header, into `out`.
GunzipResult gunzip(const unsigned char* data, uint32_t size, uint32_t maxOut, DataBuffer& out, DiagnosticLog& log);

}  // namespace component
