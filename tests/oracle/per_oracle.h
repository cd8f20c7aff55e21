// Test-side client of the Erlang codec oracle (per_oracle.escript), for the
// ASN.1 runtime's and the messages' property tests, in whichever rule the
// module was compiled with.
//
// One Batch collects commands and runs them in a single Erlang VM (a VM start
// costs a few hundred milliseconds): random encodings of a type, and Erlang's
// re-encoding of given octets after decoding them. Runs escript through the
// shell; input goes through a file in a private temporary directory.
#ifndef TESTS_ORACLE_PER_ORACLE_H
#define TESTS_ORACLE_PER_ORACLE_H

#include <string>
#include <vector>

namespace oracle {

struct Location {
  std::string script;   // per_oracle.escript
  std::string beamDir;  // erlc -bper/-bber +maps output: Module.beam, Module.asn1db
  std::string module;   // ASN.1 module name
  // Where random values are drawn from (a stricter copy of the module's
  // types; empty: the module itself), and the longest list the C++ decoder
  // takes where strings are lists too (0: no limit but the strings').
  std::string valueModule = std::string();
  unsigned maxList = 0;
};

// True when escript runs and the compiled module is there; otherwise why
// receives the reason (the tests then skip).
bool available(const Location& where, std::string* why);

class Batch {
 public:
  explicit Batch(const Location& where) : where_(where) {}

  // Up to count encodings of seeded random values of type (values Erlang
  // cannot round-trip itself are dropped). Returns the result's index.
  unsigned generate(const std::string& type, unsigned count, unsigned seed);
  // Erlang's encoding of its decoding of octets, as hex, or "ERROR ...".
  unsigned reencode(const std::string& type, const std::vector<char>& octets);

  // Runs every command queued so far; false (with err) when Erlang could not
  // be run or answered out of step.
  bool run(std::string* err);

  const std::vector<std::vector<char>>& encodings(unsigned index) const { return gen_[index]; }
  const std::string& reencoded(unsigned index) const { return re_[index]; }

 private:
  struct Command {
    bool isGen;
    unsigned index;
    std::string line;
  };
  Location where_;
  std::vector<Command> commands_;
  std::vector<std::vector<std::vector<char>>> gen_;
  std::vector<std::string> re_;
};

}  // namespace oracle

#endif
