// Serves the simulated board's own descriptor in the test's loop, as the
// server does: the HDLC model's line relay then runs between passes.
#pragma once

#include <unistd.h>

#include "board/board.h"
#include "foundation/event.h"

namespace HardwareTest {

class BoardPump {
 public:
  BoardPump() {
    event_.Bind("BoardPump::OnEvent", &BoardPump::OnEvent, this);
    event_.Schedule(Fd(::dup(Board::serviceDescriptor())), POLLIN);
  }

 private:
  void OnEvent(int, short) { Board::service(); }
  Event event_;
};

}  // namespace HardwareTest
