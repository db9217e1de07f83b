// Feeds arbitrary reply bytes through the upload's reply reader over an
// in-memory connection. The first input byte says how many of the following
// bytes are piece sizes (0 to 3); the reply then arrives in pieces of those
// sizes (a size of 0 stands for 256), the last size repeating.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/http/http_upload_impl.h"
#include "support/memory_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t sizeBytes = data[0] % 4;
  if (size < 1 + sizeBytes) return 0;
  std::vector<size_t> pieces;
  for (size_t i = 0; i < sizeBytes; ++i) pieces.push_back(data[1 + i] ? data[1 + i] : 256);
  const std::string reply(reinterpret_cast<const char*>(data) + 1 + sizeBytes, size - 1 - sizeBytes);

  component::HttpUploadImpl upload;
  // Small bounds keep each run fast; the logic that enforces them is the same.
  component::ReplyLimits limits;
  limits.maxHeaderBytes = 64 * 1024;
  limits.maxBodyBytes = 4 * 1024 * 1024;
  upload.setReplyLimits(limits);

  auto connection = std::make_unique<component::SocketConnection>();
  connection->adoptChannelForTesting(std::make_unique<testsupport::MemoryChannel>(reply, pieces));
  upload.attachConnectionForTesting(std::move(connection));
  const bool ok = upload.readReply();

  // Touch what the reader left behind, as a caller would.
  component::DataBuffer& body = upload.replyBody();
  volatile unsigned sum = 0;
  const unsigned char* bytes = body.getData();
  for (uint32_t i = 0; i < body.getSize(); i += 4096) sum = sum + bytes[i];
  if (ok && upload.statusCode() == 0) __builtin_trap();  // success always carries a status
  component::StringBuffer text;
  upload.lastErrorText(text);
  (void)upload.replyHeaderText().getUtf8();
  return 0;
}
