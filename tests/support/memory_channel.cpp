#include "support/memory_channel.h"

#include <algorithm>

namespace testsupport {

bool MemoryChannel::send(const void*, size_t size, uint32_t, uint32_t, uint32_t, component::DiagnosticLog&,
                         component::ProgressMonitor*) {
  const bool fits = size <= sendLimit_ - sent_;
  sent_ = fits ? sent_ + size : sendLimit_;
  return fits;
}

bool MemoryChannel::receive(component::DataBuffer& out, uint32_t maxBytes, uint32_t, uint32_t,
                            component::DiagnosticLog&, component::ProgressMonitor*, component::ReceiveFlags& flags) {
  flags = component::ReceiveFlags();
  flags.socketError = served_ >= reply_.size();  // the peer closed
  if (flags.socketError) return false;
  if (pieceLeft_ == 0) {  // a piece cut short by a receive's maximum goes on first
    const size_t next = pieceSizes_.empty() ? 0 : pieceSizes_[std::min(pieceIndex_++, pieceSizes_.size() - 1)];
    pieceLeft_ = pieceSizes_.empty() ? reply_.size() - served_ : std::max<size_t>(next, 1);
  }
  const size_t n = std::min({pieceLeft_, size_t(std::max<uint32_t>(maxBytes, 1)), reply_.size() - served_});
  out.append(reply_.data() + served_, uint32_t(n));
  served_ += n;
  pieceLeft_ -= n;
  return true;
}

}  // namespace testsupport
