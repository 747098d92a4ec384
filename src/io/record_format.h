#pragma once

#include <bit>
#include <cstdint>

namespace korvant {

// A record on disk: a 4-byte little-endian count N of data bytes, the N data
// bytes, and N again. Values inside are 4-byte little-endian integers and IEEE
// floats, or raw text bytes. Nothing precedes the first record or follows the last.
constexpr int kLengthBytes = 4;

// Values are moved between files and arrays in bulk; on a big-endian host
// every value would have to be swapped, which this program does not do.
static_assert(std::endian::native == std::endian::little,
              "record files are little-endian; this host is not");

inline uint32_t DecodeUint32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void EncodeUint32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace korvant
