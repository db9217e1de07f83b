#pragma once
// MemoryChannel: a connection played from memory, for driving the reply reader
// over large, endless or hostile replies without sockets. It hands out the
// reply in pieces of the given sizes (the last size repeats; none: all at once),
// never more than a receive asks for, then reports that the peer closed. Sends
// are dropped. It moves bytes only: waits, aborts and their messages are the
// real channel's, and are tested with real sockets.
#include <cstddef>
#include <string>
#include <vector>

#include "component/net/socket_channel.h"

namespace testsupport {

class MemoryChannel : public component::SocketChannel {
 public:
  explicit MemoryChannel(std::string reply, std::vector<size_t> pieceSizes = {})
      : SocketChannel(platform::Env::standard()), reply_(std::move(reply)), pieceSizes_(std::move(pieceSizes)) {}
  // Sends fail once `bytes` have been taken, as against a server that closed.
  void failSendAfter(size_t bytes) { sendLimit_ = bytes; }

  bool connect(const char*, int, bool, uint32_t, uint32_t, component::DiagnosticLog&,
               component::ProgressMonitor*) override {
    return true;
  }
  bool send(const void*, size_t size, uint32_t, uint32_t, uint32_t, component::DiagnosticLog&,
            component::ProgressMonitor*) override;
  bool receive(component::DataBuffer& out, uint32_t maxBytes, uint32_t, uint32_t, component::DiagnosticLog&,
               component::ProgressMonitor*, component::ReceiveFlags& flags) override;

 private:
  std::string reply_;
  std::vector<size_t> pieceSizes_;
  size_t served_ = 0, pieceIndex_ = 0, pieceLeft_ = 0, sent_ = 0;
  size_t sendLimit_ = static_cast<size_t>(-1);
};

}  // namespace testsupport
