#include "foundation/system_console.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <iostream>

namespace Console {

void SwitchToBinaryMode() {
  termios attributes;
  if (tcgetattr(0, &attributes) != 0) {
    std::cerr << "can't obtain terminal attributes" << std::endl;
    return;
  }
  attributes.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOPRT | ECHOCTL);
  if (tcsetattr(0, TCSADRAIN, &attributes) != 0)
    std::cerr << "can't set terminal attributes" << std::endl;
}

void SwitchToNonBlockMode() {
  int on = 1;
  if (ioctl(0, FIONBIO, &on) != 0) std::cerr << "can't switch terminal to blocked mode" << std::endl;
}

}  // namespace Console
