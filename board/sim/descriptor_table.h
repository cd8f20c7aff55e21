// What the simulated board knows about the application's descriptor numbers:
// which device channel a number stands for.
//
// A device request names its channel only by descriptor, and descriptors are
// duplicated and their numbers reused. Asking the kernel (fstat) on every
// request costs a system call the real driver does not make, so a number is
// looked up once and remembered until it is closed: this layer sees every
// close(), dup2() and dup3() of the process (they are defined here, ahead of
// the C library's, and forget the number before the descriptor goes). A new
// descriptor always takes a number that was free, so a remembered number is
// never stale.
//
// Numbers from kKnownDescriptors on are not remembered (looked up each time).
// Entries are plain words: a close() in a signal handler or a forked child is
// safe.
#pragma once

namespace BoardSim {

class Device;

struct KnownDescriptor {
  enum State : unsigned char { unknown = 0, device = 1 };
  Device* owner;
  int channel;
  State state;
};

constexpr int kKnownDescriptors = 4096;

// The entry of `fd`, or null when the number is outside the table.
KnownDescriptor* knownDescriptor(int fd);
// Forgets `fd` (close, and the target of dup2/dup3).
void forgetDescriptor(int fd);
// Forgets every number remembered for `channel` (a channel the board dropped).
void forgetChannel(int channel);

}  // namespace BoardSim
