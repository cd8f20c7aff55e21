#include "tests/oracle/per_oracle.h"

#include "tests/support/bytes.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace oracle {

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

// Runs a shell command and collects its standard output lines.
bool runCommand(const std::string& command, std::vector<std::string>* lines) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string line;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
    line += buf;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      lines->push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) lines->push_back(line);
  return pclose(pipe) == 0;
}

std::string tempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/per_oracle.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) return std::string();
  return buf.data();
}

}  // namespace

bool available(const Location& where, std::string* why) {
  if (where.script.empty() || where.beamDir.empty()) {
    *why = "erlc was not found when the tests were configured";
    return false;
  }
  if (access((where.beamDir + "/" + where.module + ".beam").c_str(), R_OK) != 0) {
    *why = "no compiled module " + where.module + " in " + where.beamDir;
    return false;
  }
  std::vector<std::string> lines;
  if (!runCommand("command -v escript >/dev/null 2>&1 && echo ok", &lines) || lines.empty()) {
    *why = "escript is not usable here";
    return false;
  }
  return true;
}

unsigned Batch::generate(const std::string& type, unsigned count, unsigned seed) {
  const unsigned index = unsigned(gen_.size());
  gen_.emplace_back();
  commands_.push_back({true, index, "gen " + type + " " + std::to_string(count) + " " + std::to_string(seed)});
  return index;
}

unsigned Batch::reencode(const std::string& type, const std::vector<char>& octets) {
  const unsigned index = unsigned(re_.size());
  re_.emplace_back();
  commands_.push_back({false, index, "re " + type + " " + TestBytes::Hex(octets)});
  return index;
}

bool Batch::run(std::string* err) {
  if (commands_.empty()) return true;
  const std::string dir = tempDir();
  if (dir.empty()) {
    *err = "cannot make a temporary directory";
    return false;
  }
  const std::string input = dir + "/commands";
  {
    std::ofstream out(input.c_str());
    for (const Command& c : commands_) out << c.line << '\n';
  }
  std::string command = "escript " + quote(where_.script) + " " + quote(where_.beamDir) + " " + quote(where_.module);
  if (!where_.valueModule.empty() || where_.maxList != 0)
    command += " " + quote(where_.valueModule.empty() ? where_.module : where_.valueModule);
  if (where_.maxList != 0) command += " " + std::to_string(where_.maxList);
  std::vector<std::string> lines;
  const bool ran = runCommand(command + " < " + quote(input), &lines);
  std::remove(input.c_str());
  rmdir(dir.c_str());
  if (!ran) {
    *err = "the Erlang oracle failed";
    return false;
  }
  std::size_t next = 0;
  for (const Command& c : commands_) {
    if (c.isGen) {
      while (next < lines.size() && lines[next] != ".") gen_[c.index].push_back(TestBytes::FromHex(lines[next++]));
      if (next == lines.size()) {
        *err = "the oracle's answer ended early";
        return false;
      }
      ++next;
    } else {
      if (next == lines.size()) {
        *err = "the oracle's answer ended early";
        return false;
      }
      re_[c.index] = lines[next++];
    }
  }
  commands_.clear();
  return true;
}

}  // namespace oracle
