// Switching the controlling terminal (standard input) to raw, non-blocking
// input. Failures are written to std::cerr.
#ifndef FOUNDATION_SYSTEM_CONSOLE_H
#define FOUNDATION_SYSTEM_CONSOLE_H

namespace Console {

// Clears canonical input and echo (ICANON, ECHO, ECHOE, ECHOK, ECHONL,
// ECHOPRT, ECHOCTL); ISIG and the other bits stay. Applied with TCSADRAIN.
// When the attributes cannot be read nothing is applied.
void SwitchToBinaryMode();
// FIONBIO on standard input.
void SwitchToNonBlockMode();

}  // namespace Console

#endif  // FOUNDATION_SYSTEM_CONSOLE_H
