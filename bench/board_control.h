// Requests to the simulated board's control socket (one line per
// connection), as a benchmark that runs the server on the simulated board
// needs them: "line attach <tdm>" hands back the line side of a timeslot.
#pragma once

#include <string>

namespace Bench {

// Sends `request` to the control socket at `path`; returns the reply line
// without its newline ("no socket" when nobody listens). A descriptor that
// comes with the reply is stored in *handed (-1 when none came; the caller
// owns it).
std::string BoardRequest(const std::string& path, const std::string& request, int* handed);

}  // namespace Bench
