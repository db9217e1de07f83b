// Feeds arbitrary reply bytes through the upload's reply reader: a run of the
// public upload object over a channel played from memory, handed in as a
// caller brings its own transport. The first input byte says how many of the
// following bytes are piece sizes (its low 2 bits: 0 to 3) and, in bit 2,
// whether the reply comes while the request is still being sent (the send
// then fails after its first 100 bytes, as against a server that answered
// early and closed). The reply arrives in pieces of the given sizes (a size of
// 0 stands for 256), the last size repeating; a reply without framing thus
// ends in pieces too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/http/http_upload.h"
#include "support/memory_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t sizeBytes = data[0] % 4;
  const bool early = (data[0] & 4) != 0;
  if (size < 1 + sizeBytes) return 0;
  std::vector<size_t> pieces;
  for (size_t i = 0; i < sizeBytes; ++i) pieces.push_back(data[1 + i] ? data[1 + i] : 256);
  const std::string reply(reinterpret_cast<const char*>(data) + 1 + sizeBytes, size - 1 - sizeBytes);

  component::HttpUpload upload(platform::Env::standard(), [&] {
    auto channel = std::make_unique<testsupport::MemoryChannel>(reply, pieces);
    if (early) channel->failSendAfter(100);
    return channel;
  });
  // Small bounds keep each run fast; the logic that enforces them is the same.
  component::ReplyLimits limits;
  limits.maxHeaderBytes = 64 * 1024;
  limits.maxBodyBytes = 4 * 1024 * 1024;
  upload.setReplyLimits(limits);
  upload.setHostname("127.0.0.1");
  if (early) upload.addParam("user", std::string(200, 'u').c_str());
  const bool ok = upload.blockingUpload();
  if (early && ok) __builtin_trap();  // a failed send is never a success

  // Touch what the reader left behind, as a caller would.
  component::ByteData body;
  upload.getResponseBody(body);
  volatile unsigned sum = 0;
  const unsigned char* bytes = body.getData();
  for (uint32_t i = 0; i < body.getSize(); i += 4096) sum = sum + bytes[i];
  if (ok && upload.statusCode() == 0) __builtin_trap();  // success always carries a status
  std::string text;
  upload.lastErrorText(text);
  (void)upload.replyHeaderText();
  (void)upload.statusLine();
  return 0;
}
