// Hostile bytes for the control port: a seeded generator of random frames
// (random lengths and bodies, frames cut short, lengths below the header,
// bodies up to the largest a TPKT header can announce) with garbage between
// them.
//
// The generator keeps a model of the server's TPKT receiver (start byte 3,
// reserved byte 0, a 16-bit length that counts the header; a bad start or
// reserved byte or a length below 4 sends it back to waiting for a start
// byte) and only emits bytes after which no body the receiver cuts out
// decodes as a control message. So nothing it sends may be answered, and
// after Settle() the receiver waits for a start byte again: a valid frame
// that follows is cut out whole.
#pragma once

#include <algorithm>
#include <random>
#include <string>

namespace Soak {

class HostileStream {
 public:
  explicit HostileStream(unsigned seed) : random_(seed) {}

  // Appends one random frame, perhaps with garbage before it, to `out`.
  void NextFrame(std::string& out);
  // Appends what ends a frame the receiver is still inside of; false (rare)
  // when every ending tried would complete a body that decodes.
  bool Settle(std::string& out);

  // The receiver's frame time-out has dropped a partial frame.
  void TimedOut() { receiver_ = Receiver(); }

  // Bodies the receiver has cut out so far (none of them decodes).
  unsigned long Bodies() const { return bodies_; }
  // Frames or garbage the generator threw away because a body would have
  // decoded.
  unsigned long Rejected() const { return rejected_; }

 private:
  struct Receiver {
    int state = 0;  // 0 start, 1 reserved, 2 length high, 3 length low, 4 body
    unsigned count = 0;
    std::string body;
  };
  // Feeds `bytes` to `receiver`; false when a body it completes decodes.
  static bool Feed(Receiver& receiver, const std::string& bytes, unsigned long& bodies);
  // Whether some ending of the body the receiver is inside of would not
  // decode.
  bool Endable(const Receiver& receiver);
  // Appends `bytes` when the receiver takes them without a decodable body.
  bool Offer(const std::string& bytes, std::string& out);
  std::string RandomBytes(size_t size);
  size_t RandomBodySize();

  std::mt19937 random_;
  Receiver receiver_;
  unsigned long bodies_ = 0;
  unsigned long rejected_ = 0;
};

}  // namespace Soak
