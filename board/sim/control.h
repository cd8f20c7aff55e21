// The simulated board's test control socket.
//
// A test that runs the real server binary on the simulated board cannot reach
// the device models through C++ calls. It sets the environment variable
// GW_SIM_CONTROL to the path of a Unix stream socket; the simulated board then
// listens there, and the server's loop serves it without knowing what it is:
// the loop watches Board::serviceDescriptor() and calls Board::service() when
// it is readable (board/board.h; the descriptor gathers the board's own
// sockets, board/sim/pump.h). Nothing here runs on a thread of its own, so
// the models are only touched between two passes of the loop.
//
// Protocol: one request per connection. The client connects, writes one line
// (at most 255 bytes, ended by a newline) and reads one reply line; then the
// socket is closed. The client must send its line at once: the request is
// read with a short bounded wait while the loop stands still. Replies start
// with "ok" (followed by the values asked for, blank-separated) or "error "
// and the reason. Numbers are decimal, or hexadecimal with 0x.
//
//   hal put <ch> <byte>     the byte arriving on the line side of a channel
//   hal clear <ch>          no line byte on that channel any more
//   hal get <ch>            ok <byte>: what the channel carries
//   hal state <ch>          ok none | ok source <ch> | ok const <byte>
//   hal counts <ch>         ok connect <n> disable <n> write <n> read <n>
//   hal totals              the same, summed over every channel
//   hal clock               ok <source> <selections>: the bus clock source
//                           last selected (-1: none yet)
//   hal spi <ch> <reg> [<byte>]
//                           ok <byte>: a BRI line interface's register, or set
//                           it (register 51: the line status)
//   wd words                ok <word> <word> ...: what the loop wrote to the watchdog
//   fail <path> <request> <errno> [<times>]
//                           the next <times> requests (all when left out)
//                           with that code on that device fail with <errno>
//   clear <path>            forget the injected failures of a device
//   present <path> <0|1>    make a device absent or present again
//   line attach <ch>        ok, with the test's end of the line side of TDM
//                           channel <ch> passed along (SCM_RIGHTS): a
//                           SOCK_SEQPACKET socket, one HDLC frame per message
//   line plug <ch>          the descriptor passed along with the request
//                           becomes the far end of <ch>'s line (a cable to
//                           another board's line)
//   line join <a> <b>       joins the lines of two channels like a cable
//   line detach <ch>        drops the line of a channel
//   e1 set <trunk> <field> <value>
//                           one field of a trunk's status record: slips,
//                           lossBF, lossCarrier, ais, rai or state
//   e1 tclk                 ok <mask> <writes>: the transmit-clock mask
//   cas receive <trunk> <ts> <rx>
//                           new received ABCD bits: a change record for every
//                           open CAS descriptor
//   cas bits <trunk> <ts>   ok <rx> <tx> open|closed (the trunk's CAS: open
//                           while a descriptor that opened it is open)
//   line counts             ok channels <n> lines <n> delivered <n> dropped <n>
//   line channels           ok <number> ...: the cross-connect numbers of the
//                           open, allocated HDLC controller channels, in
//                           opening order
//   line tap <number>       ok, with the far side of that allocated controller
//                           channel itself (a descriptor handed over), which
//                           the relay then leaves alone
//   board cpu               ok <ns> <calls>: CPU time the board spent serving
//                           the application (only with GW_SIM_METER=1)
#pragma once

#include <string>

namespace BoardSim {

// The environment variable that names the socket's path.
extern const char* const kControlEnvironment;

// Carries out one request line (without its newline) and returns the reply
// line (without its newline).
std::string controlCommand(const std::string& line);
// As above, with the descriptor that came with the request (-1: none); a
// reply that hands a descriptor over stores it in *handed (the caller closes
// it after sending). A null `handed` refuses requests that hand one over.
std::string controlCommand(const std::string& line, int received, int* handed);

}  // namespace BoardSim
