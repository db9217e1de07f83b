#include "component/base/data_buffer.h"

#include <cstdlib>
#include <cstring>

#include "component/base/string_buffer.h"
#include "component/base/validity.h"

namespace component {
namespace {

constexpr uint32_t kGrowth = 20000;

}  // namespace

DataBuffer::DataBuffer() : marker_(kDataBufferMarker), data_(nullptr), size_(0), capacity_(0) {}

DataBuffer::DataBuffer(uint32_t initialCapacity) : DataBuffer() {
  if (initialCapacity == 0) return;
  data_ = static_cast<unsigned char*>(std::calloc(initialCapacity, 1));
  if (!data_) invalidBufferFault("DataBuffer allocation");
  capacity_ = initialCapacity;
}

DataBuffer::~DataBuffer() {
  check();
  release();
  clearMarker(marker_);
}

void DataBuffer::check() const { checkMarker(readMarker(marker_), kDataBufferMarker, "DataBuffer"); }

void DataBuffer::release() {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

void DataBuffer::reallocate(uint64_t newCapacity) {
  if (newCapacity > UINT32_MAX) invalidBufferFault("DataBuffer size");
  auto* fresh = static_cast<unsigned char*>(std::malloc(size_t(newCapacity ? newCapacity : 1)));
  if (!fresh) invalidBufferFault("DataBuffer allocation");
  if (size_) std::memcpy(fresh, data_, size_);
  std::free(data_);
  data_ = fresh;
  capacity_ = uint32_t(newCapacity);
}

const unsigned char* DataBuffer::getData() {
  check();
  if (!data_) {
    data_ = static_cast<unsigned char*>(std::calloc(4, 1));
    if (!data_) invalidBufferFault("DataBuffer allocation");
    capacity_ = 4;
  }
  return data_;
}

uint32_t DataBuffer::getSize() const { return size_; }
uint32_t DataBuffer::getCapacity() const { return capacity_; }

void DataBuffer::clear() {
  check();
  size_ = 0;
}

void DataBuffer::appendChar(unsigned char b) {
  check();
  if (uint64_t(size_) + 1 > capacity_) reallocate(uint64_t(size_) + kGrowth);
  data_[size_++] = b;
}

void DataBuffer::append(const void* bytes, uint32_t n) {
  check();
  if (!bytes || n == 0) return;
  const auto* src = static_cast<const unsigned char*>(bytes);
  if (uint64_t(size_) + n > capacity_) {
    // Bytes taken from this very buffer must survive the reallocation.
    const bool inside = data_ && src >= data_ && src < data_ + capacity_;
    const size_t offset = inside ? size_t(src - data_) : 0;
    reallocate(uint64_t(size_) + (n > kGrowth ? n : kGrowth));
    if (inside) src = data_ + offset;
  }
  std::memmove(data_ + size_, src, n);
  size_ += n;
}

void DataBuffer::appendBuffer(const DataBuffer& other) {
  check();
  other.check();
  if (other.size_ == 0) return;
  append(other.data_, other.size_);
}

void DataBuffer::ensureCapacity(uint32_t n) {
  check();
  if (capacity_ < n) reallocate(n);
}

void DataBuffer::growFor(uint32_t extra, uint32_t limit) {
  check();
  const uint64_t need = uint64_t(size_) + extra;
  if (need <= capacity_) return;
  uint64_t grown = uint64_t(capacity_) * 2;
  if (grown > limit) grown = limit;
  reallocate(grown > need ? grown : need);
}

void DataBuffer::takeFrom(DataBuffer& other) {
  check();
  other.check();
  if (&other == this) return;
  release();
  data_ = other.data_;
  size_ = other.size_;
  capacity_ = other.capacity_;
  other.data_ = nullptr;
  other.size_ = other.capacity_ = 0;
}

void DataBuffer::toHex(StringBuffer& out) const {
  check();
  static const char kDigits[] = "0123456789ABCDEF";
  char pair[2];
  for (uint32_t i = 0; i < size_; ++i) {
    pair[0] = kDigits[data_[i] >> 4];
    pair[1] = kDigits[data_[i] & 15];
    out.appendBytes(pair, 2);
  }
}

void DataBuffer::truncate(uint32_t size) {
  check();
  if (size < size_) size_ = size;
}

void DataBuffer::removeFront(uint32_t n) {
  check();
  if (n >= size_) {
    size_ = 0;
    return;
  }
  std::memmove(data_, data_ + n, size_ - n);
  size_ -= n;
}

}  // namespace component
