// Test support for every layer that uses packets.
//
// Linking the net_testing library into a GoogleTest binary registers a
// listener that fails any test after which a packet pool block is still in
// use (a leaked or still referenced packet), and sets SIGPIPE to be ignored,
// as the server does, so that a write to a closed socket returns EPIPE.
//
// A test that deliberately keeps packets alive past its end (a fixture's
// static, for example) must release them before it returns.
#pragma once

namespace net_testing {

// Pool blocks in use now.
unsigned blocks_in_use();

}  // namespace net_testing
