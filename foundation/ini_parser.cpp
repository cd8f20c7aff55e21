// The character-level ini parser: a seven-state machine driven one byte at a
// time. Only SPACE is a blank inside keys and values (TAB is an ordinary
// character there); CR is dropped everywhere so CR LF files read like LF files.
#include <istream>
#include <string>

#include "foundation/ini_file.h"

namespace IniFile {

namespace {

enum ParserState {
  kBeforeHeader = 0,  // before the first header, or after a header without "]"
  kInHeader = 1,
  kAfterHeader = 2,   // rest of a header line
  kLineStart = 3,     // start of a line inside a sub-section
  kInKey = 4,
  kAfterEquals = 5,
  kInValue = 6,
};

}  // namespace

void File::IntOpenStream(std::istream& is) {
  mOpen = true;

  ParserState state = kBeforeHeader;
  int lineNo = 1;
  std::string header;
  std::string key;
  std::string value;
  unsigned pendingBlanks = 0;
  SubSection* current = nullptr;
  bool comment = false;

  auto store = [&]() {
    // A key line can only be reached through a header, so current is set.
    if (current) current->NewSubKey(key, value, lineNo);
    key.clear();
  };

  for (int got = is.get(); got != std::char_traits<char>::eof(); got = is.get()) {
    const unsigned char c = static_cast<unsigned char>(got);
    if (c == '\r') continue;
    if (comment) {
      if (c != '\n') continue;
      comment = false;
    }

    switch (state) {
      case kBeforeHeader:
        if (c == '#') {
          comment = true;
        } else if (c == '[') {
          header.clear();
          state = kInHeader;
        }
        break;

      case kInHeader:
        if (c == '\n') {
          state = kBeforeHeader;
        } else if (c == ']') {
          current = &NewSubSection(header, lineNo);
          state = kAfterHeader;
        } else {
          header += static_cast<char>(c);
        }
        break;

      case kAfterHeader:
        if (c == '\n')
          state = kLineStart;
        else if (c == '#')
          comment = true;
        break;

      case kLineStart:
        if (c == '#') {
          comment = true;
        } else if (c == '\t' || c == '\n' || c == ' ') {
          // blank line or indentation
        } else if (c == '[') {
          header.clear();
          state = kInHeader;
        } else {
          key.assign(1, static_cast<char>(c));
          pendingBlanks = 0;
          state = kInKey;
        }
        break;

      case kInKey:
        if (c == ' ') {
          ++pendingBlanks;
        } else if (c == '=') {
          value.clear();
          state = kAfterEquals;
        } else if (c == '\n') {
          key.clear();
          pendingBlanks = 0;
          state = kLineStart;
        } else {
          key.append(pendingBlanks, ' ');
          pendingBlanks = 0;
          key += static_cast<char>(c);
        }
        break;

      case kAfterEquals:
        if (c == ' ') {
          // blanks before the value
        } else if (c == '#') {
          comment = true;
        } else if (c == '\n') {
          store();
          state = kLineStart;
        } else {
          value.assign(1, static_cast<char>(c));
          pendingBlanks = 0;
          state = kInValue;
        }
        break;

      case kInValue:
        if (c == ' ') {
          ++pendingBlanks;
        } else if (c == '#') {
          // "#" starts a comment inside a value only after a blank.
          if (pendingBlanks > 0) {
            pendingBlanks = 0;
            comment = true;
          } else {
            value += '#';
          }
        } else if (c == '\n') {
          store();
          state = kLineStart;
        } else {
          value.append(pendingBlanks, ' ');
          pendingBlanks = 0;
          value += static_cast<char>(c);
        }
        break;
    }

    if (c == '\n') ++lineNo;
  }

  // A last key line without its LF still counts.
  if (state == kAfterEquals || state == kInValue) store();
}

}  // namespace IniFile
