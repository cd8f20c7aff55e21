#include "server/board_service.h"

#include <poll.h>
#include <unistd.h>

#include "board/board.h"
#include "foundation/fd.h"

bool BoardService::Start() {
  int fd = Board::serviceDescriptor();
  if (fd < 0) return false;
  event_.Bind("BoardService::OnEvent", &BoardService::OnEvent, this);
  // The event holds its own duplicate; the board layer keeps its descriptor.
  event_.Schedule(Fd(::dup(fd)), POLLIN);
  return event_.IsActive();
}

void BoardService::OnEvent(int, short revents) {
  if (revents & POLLIN) Board::service();
}
