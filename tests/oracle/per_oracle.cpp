#include "tests/oracle/per_oracle.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace oracle {

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command and collects its standard output lines.
bool runCommand(const std::string& command, std::vector<std::string>* lines) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
  for (std::size_t from = 0, nl; from < text.size(); from = nl + 1) {
    nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    lines->push_back(text.substr(from, nl - from));
  }
  return pclose(pipe) == 0;
}

}  // namespace

bool available(const Location& where, std::string* why) {
  std::vector<std::string> lines;
  if (where.script.empty() || where.beamDir.empty())
    *why = "erlc was not found when the tests were configured";
  else if (access((where.beamDir + "/" + where.module + ".beam").c_str(), R_OK) != 0)
    *why = "no compiled module " + where.module + " in " + where.beamDir;
  else if (!runCommand("command -v escript >/dev/null 2>&1 && echo ok", &lines) || lines.empty())
    *why = "escript is not usable here";
  else
    return true;
  return false;
}

unsigned Batch::generate(const std::string& type, unsigned count, unsigned seed) {
  gen_.emplace_back();
  commands_.push_back({int(gen_.size() - 1), "gen " + type + " " + std::to_string(count) + " " + std::to_string(seed)});
  return unsigned(gen_.size() - 1);
}

unsigned Batch::reencode(const std::string& type, const std::vector<char>& octets) {
  re_.emplace_back();
  commands_.push_back({-1, "re " + type + " " + TestBytes::Hex(octets)});
  return unsigned(re_.size() - 1);
}

bool Batch::run(std::string* err) {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/per_oracle.XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) {
    *err = "cannot make a temporary directory";
    return false;
  }
  const std::string input = dir + "/commands";
  {
    std::ofstream out(input.c_str());
    for (const auto& c : commands_) out << c.second << '\n';
  }
  std::string command = "escript " + quote(where_.script) + " " + quote(where_.beamDir) + " " + quote(where_.module);
  if (!where_.valueModule.empty() || where_.maxList != 0)
    command += " " + quote(where_.valueModule.empty() ? where_.module : where_.valueModule);
  if (where_.maxList != 0) command += " " + std::to_string(where_.maxList);
  std::vector<std::string> lines;
  const bool ran = runCommand(command + " < " + quote(input), &lines);
  std::remove(input.c_str());
  rmdir(dir.c_str());
  *err = ran ? "the oracle's answer ended early" : "the Erlang oracle failed";
  std::size_t next = 0, re = 0;
  for (const auto& c : commands_) {
    while (ran && c.first >= 0 && next < lines.size() && lines[next] != ".")
      gen_[c.first].push_back(TestBytes::FromHex(lines[next++]));
    if (!ran || next == lines.size()) return false;
    if (c.first < 0) re_[re++] = lines[next];
    ++next;
  }
  commands_.clear();
  return true;
}

}  // namespace oracle
