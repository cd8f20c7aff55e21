// Requests of the board's "/dev/hal" driver: the TDM cross-connect, the bus
// clock selection and the registers of the BRI line interfaces on its SPI bus.
//
// The driver defines these records; they are mirrored here as host-order
// structs (the board is big-endian and so are its records), passed to
// Board::ioctl by address. The request codes are the board's literal numbers
// ('M' = 0x4D, numbers 2 to 5), never computed with the host's _IOW macros.
// Each record is cleared to zero before its fields are set.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace HalRequest {

// Switches `source` onto `destination`.
const unsigned long kConnect = 0x80084D02UL;
// Stops driving a destination channel; the argument is the channel (int32_t).
const unsigned long kDisable = 0x80044D03UL;
// Drives a constant byte (zero-extended into `value`) onto `channel`.
const unsigned long kWrite = 0xC0084D04UL;
// Reads the byte a channel carries: `value` goes in as 255 and comes back with
// the byte in its low 8 bits.
const unsigned long kRead = 0xC0084D05UL;

struct Connect {
  int32_t destination;
  int32_t source;
};

struct Value {
  int32_t channel;
  uint32_t value;
};

static_assert(sizeof(Connect) == 8, "connect record is 8 bytes");
static_assert(offsetof(Connect, destination) == 0, "destination at byte 0");
static_assert(offsetof(Connect, source) == 4, "source at byte 4");
static_assert(sizeof(Value) == 8, "value record is 8 bytes");
static_assert(offsetof(Value, channel) == 0, "channel at byte 0");
static_assert(offsetof(Value, value) == 4, "value at byte 4");
static_assert(sizeof(int32_t) == 4, "disable takes a 4-byte channel");

// Selects the TDM bus clock source; argument: the address of an int32_t
// source (4 is the free-running clock).
const unsigned long kClockSelect = 0x80044301UL;

// One register of a BRI line interface on the SPI bus. A board without SPI
// fails both requests with ENODEV.
struct SpiRegister {
  uint8_t channel;  // the line interface, 0..7
  uint8_t address;
  uint8_t data;  // read: passed in as 0xFF
};
// Reads a register: its value is the low 8 bits of a non-negative result.
const unsigned long kSpiRead = 0xC0034203UL;
const unsigned long kSpiWrite = 0xC0034204UL;

static_assert(sizeof(SpiRegister) == 3, "SPI record is 3 bytes");
static_assert(offsetof(SpiRegister, channel) == 0, "channel at byte 0");
static_assert(offsetof(SpiRegister, address) == 1, "address at byte 1");
static_assert(offsetof(SpiRegister, data) == 2, "data at byte 2");

}  // namespace HalRequest
