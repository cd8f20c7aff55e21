// Reading a recorded request's fields at their byte offsets, in host order
// (the board's own order).
#pragma once

#include <stdint.h>
#include <string.h>

#include <vector>

namespace HardwareTest {

template <class T>
T At(const std::vector<uint8_t>& record, size_t offset) {
  T value = 0;
  if (offset + sizeof value <= record.size()) memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

// Every 32-bit word of a record, in order.
inline std::vector<uint32_t> Words(const std::vector<uint8_t>& record) {
  std::vector<uint32_t> words;
  for (size_t offset = 0; offset + 4 <= record.size(); offset += 4) words.push_back(At<uint32_t>(record, offset));
  return words;
}
using W = std::vector<uint32_t>;

}  // namespace HardwareTest
