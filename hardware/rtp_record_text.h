// Printers of the RTP drivers' parameter records, for tracing driver calls.
//
// The four parameter records print as a block of lines, each indented by two
// blanks and ended, numbers in the stream's current base; rtp_channel_info
// prints on the current line, in decimal. Nothing in this system prints them
// yet.
#pragma once

#include <iosfwd>

#include "board/abi/rtp.h"

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& p);
