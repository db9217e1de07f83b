#pragma once
// DataBuffer: the component's growable byte buffer. The bytes are not
// terminated: the size alone says how many are valid.
#include <cstdint>

namespace component {

class StringBuffer;

class DataBuffer {
 public:
  DataBuffer();
  // Allocates exactly `initialCapacity` zero bytes; the size stays 0.
  explicit DataBuffer(uint32_t initialCapacity);
  DataBuffer(const DataBuffer&) = delete;
  DataBuffer& operator=(const DataBuffer&) = delete;
  ~DataBuffer();

  // Never null: a buffer that never held memory gets four zero bytes.
  const unsigned char* getData();
  uint32_t getSize() const;
  uint32_t getCapacity() const;

  void clear();
  void appendChar(unsigned char b);
  void append(const void* bytes, uint32_t n);
  void appendBuffer(const DataBuffer& other);
  void ensureCapacity(uint32_t n);
  // Makes room for `extra` more bytes at a cost linear in the final size: when
  // they do not fit, the capacity at least doubles, but grows beyond `limit`
  // only as far as the bytes themselves need. For buffers that receive data of
  // unknown length; append keeps its own fixed step.
  void growFor(uint32_t extra, uint32_t limit);
  // Moves the other buffer's memory here and leaves it empty.
  void takeFrom(DataBuffer& other);
  // Appends two upper-case hexadecimal digits per byte, high half first.
  void toHex(StringBuffer& out) const;

  // Shortens the buffer to `size` bytes (no effect when it is not shorter).
  void truncate(uint32_t size);
  // Drops the first n bytes, moving the rest to the front.
  void removeFront(uint32_t n);

 private:
  void check() const;
  void reallocate(uint64_t newCapacity);
  void release();

  uint8_t marker_;
  unsigned char* data_;
  uint32_t size_;
  uint32_t capacity_;
};

}  // namespace component
