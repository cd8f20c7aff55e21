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

}  // namespace HardwareTest
