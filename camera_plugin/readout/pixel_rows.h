// Helpers shared by the image assembly and the reordering routines.
//
// Pixels travel as unsigned 16-bit little-endian samples in byte buffers whose
// alignment nobody promises (the host's buffer least of all), so samples are
// loaded and stored through bytes: the compiler turns these into plain 16-bit
// moves on x86, and they stay right on any byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace cvpix {

inline uint16_t LoadU16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void StoreU16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}

// v raised to the next multiple of 8.
inline uint64_t Pad8(uint64_t v) { return (v + 7) & ~static_cast<uint64_t>(7); }

// Byte counts are worked out in 64 bits; anything that would not fit the
// address space of the 32-bit build (or 32 bits at all) is refused.
inline bool FitsBuffer(uint64_t bytes) {
  return bytes <= 0xFFFFFFFFull && bytes <= static_cast<uint64_t>(SIZE_MAX);
}

// A heap block that is released when it goes out of scope. Obtained with the
// non-throwing allocator: the plug-in never lets an exception out.
class Block {
 public:
  Block() = default;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() { delete[] data_; }

  // Obtains `bytes` bytes (at least one, so that an empty image still has a
  // valid address); false when they cannot be had.
  bool Obtain(uint64_t bytes) {
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
    if (!FitsBuffer(bytes)) return false;
    const size_t n = bytes == 0 ? 1 : static_cast<size_t>(bytes);
    data_ = new (std::nothrow) unsigned char[n];
    if (data_ == nullptr) return false;
    size_ = static_cast<size_t>(bytes);
    return true;
  }
  void Release() {
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
  }
  unsigned char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace cvpix
