#pragma once

// Test helpers: little-endian values and framed records written out by hand,
// for unit tests that state the exact bytes of a record.

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace korvant::test_bytes {

inline void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline std::string Ints(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) Put32(&out, static_cast<uint32_t>(v));
  return out;
}

inline std::string Reals(std::initializer_list<float> values) {
  std::string out;
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    Put32(&out, bits);
  }
  return out;
}

/// The length, `data`, and the length again.
inline std::string Record(const std::string& data) {
  std::string out;
  Put32(&out, static_cast<uint32_t>(data.size()));
  out += data;
  Put32(&out, static_cast<uint32_t>(data.size()));
  return out;
}

}  // namespace korvant::test_bytes
