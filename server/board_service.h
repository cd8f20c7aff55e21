// Serves the board layer's own descriptor (Board::serviceDescriptor) in the
// event loop: when it is readable, Board::service() runs. The board build has
// no such descriptor and Start() then does nothing; the simulated board uses
// it for its test control socket.
#pragma once

#include "foundation/event.h"

class BoardService {
 public:
  BoardService() = default;
  BoardService(const BoardService&) = delete;
  BoardService& operator=(const BoardService&) = delete;

  // True when the board layer has a descriptor, now watched.
  bool Start();

 private:
  void OnEvent(int fd, short revents);

  Event event_;
};
