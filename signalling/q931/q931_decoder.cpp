#include "signalling/q931/q931_decoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ISDN {

namespace {

const char truncated_mark[] = "<truncated>\n";

// Formatted writes into a fixed buffer. Room for the truncation mark is kept
// back, so a text that does not fit still ends with it.
class Writer {
 public:
  Writer(char* out, std::size_t size) : out_(out), size_(size), at_(0), full_(false) {}

  void put(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (full_) return;
    const std::size_t limit = size_ > sizeof truncated_mark ? size_ - sizeof truncated_mark : 0;
    if (at_ >= limit) {
      full_ = true;
      return;
    }
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out_ + at_, limit - at_ + 1, format, args);
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) > limit - at_) {
      at_ = limit;
      full_ = true;
      return;
    }
    at_ += static_cast<std::size_t>(n);
  }

  void bits(unsigned char octet, int from, int count) {
    char text[9];
    int n = 0;
    for (int bit = from; bit > from - count && bit >= 1 && n < 8; --bit)
      text[n++] = (octet >> (bit - 1)) & 1 ? '1' : '0';
    text[n] = 0;
    put("%s", text);
  }

  void finish() {
    if (size_ == 0) return;
    if (full_ && size_ > sizeof truncated_mark) {
      std::memcpy(out_ + at_, truncated_mark, sizeof truncated_mark);
      return;
    }
    out_[at_ < size_ ? at_ : size_ - 1] = 0;
  }

 private:
  char* out_;
  std::size_t size_;
  std::size_t at_;
  bool full_;
};

// The octets of one element's contents: reads past the end give nothing.
struct Contents {
  const unsigned char* begin;
  const unsigned char* end;
  unsigned size() const { return static_cast<unsigned>(end - begin); }
};

struct Named {
  unsigned code;
  const char* name;
};

const Named mtlist[] = {
    {0x01, "ALERTING"}, {0x02, "CALL PROCEEDING"}, {0x07, "CONNECT"},
    {0x0f, "CONNECT ACKNOWLEDGE"}, {0x03, "PROGRESS"}, {0x05, "SETUP"},
    {0x0d, "SETUP ACKNOWLEDGE"}, {0x24, "HOLD"}, {0x28, "HOLD ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"}, {0x31, "RETRIEVE"}, {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"}, {0x26, "RESUME"}, {0x2e, "RESUME ACKNOWLEDGE"},
    {0x22, "RESUME REJECT"}, {0x2d, "SUSPEND ACKNOWLEDGE"}, {0x21, "SUSPEND REJECT"},
    {0x20, "USER INFORMATION"}, {0x45, "DISCONNECT"}, {0x4d, "RELEASE"},
    {0x5a, "RELEASE COMPLETE"}, {0x46, "RESTART"}, {0x4e, "RESTART ACKNOWLEDGE"},
    {0x60, "SEGMENT"}, {0x79, "CONGESTION CONTROL"}, {0x7b, "INFORMATION"},
    {0x62, "FACILITY"}, {0x6e, "NOTIFY"}, {0x7d, "STATUS"}, {0x75, "STATUS ENQUIRY"},
    {0x25, "SUSPEND"},
};

const Named cvlist[] = {
    {0x01, "Unallocated (unassigned) number"},
    {0x02, "No route to specified transit network"},
    {0x03, "No route to destination"},
    {0x04, "Send special information tone"},
    {0x05, "Misdialled trunk prefix"},
    {0x06, "Channel unacceptable"},
    {0x07, "Channel awarded and being delivered in an established channel"},
    {0x08, "Preemption"},
    {0x09, "Preemption - circuit reserved for reuse"},
    {0x10, "Normal call clearing"},
    {0x11, "User busy"},
    {0x12, "No user responding"},
    {0x13, "No answer from user (user alerted)"},
    {0x14, "Subscriber absent"},
    {0x15, "Call rejected"},
    {0x16, "Number changed"},
    {0x1a, "non-selected user clearing"},
    {0x1b, "Destination out of order"},
    {0x1c, "Invalid number format (address incomplete)"},
    {0x1d, "Facility rejected"},
    {0x1e, "Response to Status enquiry"},
    {0x1f, "Normal, unspecified"},
    {0x22, "No circuit/channel available"},
    {0x26, "Network out of order"},
    {0x27, "Permanent frame mode connection out-of-service"},
    {0x28, "Permanent frame mode connection operational"},
    {0x29, "Temporary failure"},
    {0x2a, "Switching equipment congestion"},
    {0x2b, "Access information discarded"},
    {0x2c, "Requested circuit/channel not available"},
    {0x2e, "Precedence call blocked"},
    {0x2f, "Resource unavailable, unspecified"},
    {0x31, "Quality of service unavailable"},
    {0x32, "Requested facility not subscribed"},
    {0x35, "Outgoing calls barred within CUG"},
    {0x37, "Incoming calls barred within CUG"},
    {0x39, "Bearer capability not authorized"},
    {0x3a, "Bearer capability not presently available"},
    {0x3e, "Inconsistency in designated outgoing access information and subscriber class "},
    {0x3f, "Service or option not available, unspecified"},
    {0x41, "Bearer capability not implemented"},
    {0x42, "Channel type not implemented"},
    {0x43, "Requested facility not implemented"},
    {0x44, "Only restricted digital information bearer capability is available"},
    {0x4f, "Service or option not implemented"},
    {0x51, "Invalid call reference value"},
    {0x52, "Identified channel does not exist"},
    {0x53, "A suspended call exists, but this call identity does not"},
    {0x54, "Call identity in use"},
    {0x55, "No call suspended"},
    {0x56, "Call having the requested call identity has been cleared"},
    {0x57, "User not member of CUG"},
    {0x58, "Incompatible destination"},
    {0x5a, "Non-existent CUG"},
    {0x5b, "Invalid transit network selection"},
    {0x5f, "Invalid message, unspecified"},
    {0x60, "Mandatory information element is missing"},
    {0x61, "Message type non-existent or not implemented"},
    {0x62, "Message not compatible with call state or message type non-existent or not implemented "},
    {0x63, "Information element/parameter non-existent or not implemented"},
    {0x64, "Invalid information element contents"},
    {0x65, "Message not compatible with call state"},
    {0x66, "Recovery on timer expiry"},
    {0x67, "Parameter non-existent or not implemented - passed on"},
    {0x6e, "Message with unrecognized parameter discarded"},
    {0x6f, "Protocol error, unspecified"},
    {0x7f, "Interworking, unspecified"},
};

const char* lookup(const Named* table, std::size_t rows, unsigned code) {
  for (std::size_t i = 0; i < rows; ++i)
    if (table[i].code == code) return table[i].name;
  return nullptr;
}

using Printer = void (*)(Writer&, Contents);

void general(Writer& w, Contents c) {
  int group = 3;
  char suffix = ' ';
  for (const unsigned char* p = c.begin; p < c.end; ++p) {
    w.put("    octet %d%c ", group, suffix);
    w.bits(*p, 8, 8);
    w.put("\n");
    if (*p & 0x80) {
      ++group;
      suffix = ' ';
    } else {
      suffix = suffix == ' ' ? 'a' : static_cast<char>(suffix + 1);
    }
  }
}

void octet_line(Writer& w, const char* label, unsigned char octet) {
  w.put("%s", label);
  w.bits(octet, 8, 8);
  w.put("\n");
}

void prbearer(Writer& w, Contents c) {
  const unsigned char* p = c.begin;
  if (p < c.end) octet_line(w, "    octet 3  ", *p++);
  if (p >= c.end) return;
  const unsigned char octet4 = *p++;
  octet_line(w, "    octet 4  ", octet4);
  if ((octet4 & 0x1f) == 0x18 && p < c.end) octet_line(w, "    octet 4.1 ", *p++);
  if (p < c.end && ((*p >> 5) & 3) == 1) {
    char suffix = ' ';
    while (p < c.end) {
      const unsigned char octet = *p++;
      w.put("    octet 5%c ", suffix);
      w.bits(octet, 8, 8);
      w.put("\n");
      suffix = suffix == ' ' ? 'a' : static_cast<char>(suffix + 1);
      if (octet & 0x80) break;
    }
  }
  if (p < c.end && ((*p >> 5) & 3) == 2) octet_line(w, "    octet 6  ", *p++);
  if (p < c.end && ((*p >> 5) & 3) == 3) octet_line(w, "    octet 7  ", *p++);
}

void prcause(Writer& w, Contents c) {
  const unsigned char* p = c.begin;
  if (p >= c.end) return;
  w.put("    coding ");
  w.bits(*p, 7, 2);
  w.put(" location ");
  w.bits(*p, 4, 4);
  w.put("\n");
  while (p < c.end && !(*p & 0x80)) ++p;  // up to the first octet with bit 8 set
  if (p < c.end) ++p;
  if (p >= c.end) return;
  const unsigned value = *p++ & 0x7f;
  if (const char* text = lookup(cvlist, sizeof cvlist / sizeof cvlist[0], value))
    w.put("  cause value %x : %s \n", value, text);
  else
    w.put("Unknown cause type %x!\n", value);
  // Diagnostics: attribute, rejected and (while the rejected octet has bit 8
  // clear) the available attribute, which also opens the next group.
  while (p < c.end) {
    w.put("    diag attribute %d ", *p++ & 0x7f);
    if (p >= c.end) {
      w.put("\n");
      break;
    }
    const unsigned char rej = *p++;
    w.put(" rej %d ", rej & 0x7f);
    if (rej & 0x80 || p >= c.end) {
      w.put("\n");
      continue;
    }
    w.put(" av %d\n", *p & 0x7f);
  }
}

void prchident(Writer& w, Contents c) {
  if (c.begin < c.end) octet_line(w, "    octet 3 ", *c.begin);
}

void digits(Writer& w, const unsigned char* p, const unsigned char* end) {
  w.put("    number digits ");
  for (; p < end; ++p) w.put("%c", *p ? *p : '.');
  w.put("\n");
}

void prcalled(Writer& w, Contents c) {
  if (c.begin >= c.end) return;
  octet_line(w, "    octet 3 ", *c.begin);
  digits(w, c.begin + 1, c.end);
}

void prcalling(Writer& w, Contents c) {
  if (c.begin >= c.end) return;
  const unsigned char* p = c.begin;
  const unsigned char octet3 = *p++;
  octet_line(w, "    octet 3 ", octet3);
  if (!(octet3 & 0x80) && p < c.end) octet_line(w, "    octet 3a ", *p++);
  digits(w, p, c.end);
}

void prfacility(Writer& w, Contents c) {
  const unsigned char* p = c.begin;
  if (p >= c.end) return;
  octet_line(w, "    octet 3 ", *p++);
  while (p < c.end) {
    octet_line(w, "   octet 4 ", *p++);
    if (p >= c.end) break;
    const unsigned n = *p++ & 0x7f;
    w.put("   octet 5 %d\n", n);
    w.put("   contents ");
    for (unsigned i = 0; i < n && p < c.end; ++i) w.put("%2x ", *p++);
    w.put("\n");
  }
}

void display(Writer& w, Contents c) {
  w.put("   \"");
  for (const unsigned char* p = c.begin; p < c.end; ++p) w.put("%c", *p ? *p : '.');
  w.put("\"\n");
}

struct Element {
  unsigned id;
  const char* name;
  Printer printer;
};

const Element ielist[] = {
    {0x00, "Segmented message", general},
    {0x04, "Bearer capability", prbearer},
    {0x08, "Cause", prcause},
    {0x10, "Call identity", general},
    {0x14, "Call state", general},
    {0x18, "Channel identification", prchident},
    {0x1c, "Facility", prfacility},
    {0x1e, "Progress indicator", general},
    {0x20, "Network-specific facilities", general},
    {0x27, "Notification indicator", general},
    {0x28, "Display", display},
    {0x29, "Date/Time", general},
    {0x2c, "Keypad facility", general},
    {0x34, "Signal", general},
    {0x40, "Information rate", general},
    {0x42, "End-to-end delay", general},
    {0x43, "Transit delay selection and indication", general},
    {0x44, "Packet layer binary parameters", general},
    {0x45, "Packet layer window size", general},
    {0x46, "Packet size", general},
    {0x47, "Closed user group", general},
    {0x4a, "Reverse charge indication", general},
    {0x6c, "Calling party number", prcalling},
    {0x6d, "Calling party subaddress", general},
    {0x70, "Called party number", prcalled},
    {0x71, "Called party subaddress", general},
    {0x74, "Redirecting number", general},
    {0x78, "Transit network selection", general},
    {0x79, "Restart indicator", general},
    {0x7c, "Low layer compatibility", general},
    {0x7d, "High layer compatibility", general},
    {0x7e, "User-user", general},
    {0x7f, "Escape for extension", general},
};

void single_octet(Writer& w, unsigned char octet) {
  switch ((octet >> 4) & 7) {
    case 1: w.put("  Shift %x\n", octet & 0x0f); break;
    case 2:
      if (octet == 0xa0) w.put("  More data\n");
      else if (octet == 0xa1) w.put("  Sending complete\n");
      break;
    case 3: w.put("  Congestion level %x\n", octet & 0x0f); break;
    case 5: w.put("  Repeat indicator %x\n", octet & 0x0f); break;
    default: w.put("  Reserved %x\n", octet); break;
  }
}

void message(Writer& w, const unsigned char* p, const unsigned char* end) {
  const int size = static_cast<int>(end - p);
  if (*p != 8) {
    w.put("Unknown protocol %x!", *p);
    return;
  }
  ++p;
  unsigned cref = 0;
  bool called = false;
  if (p < end) {
    const unsigned cref_len = *p++ & 0x0f;
    // Only the first call-reference octet is shown; longer ones are skipped.
    if (cref_len != 0 && p < end) {
      called = *p & 0x80;
      cref = *p & 0x7f;
      p += cref_len <= static_cast<unsigned>(end - p) ? cref_len : static_cast<unsigned>(end - p);
    }
  }
  if (p >= end) {
    w.put("callref %u %s size %d message header cut short\n", cref, called ? "called" : "caller", size);
    return;
  }
  const unsigned type = *p++;
  if (const char* name = lookup(mtlist, sizeof mtlist / sizeof mtlist[0], type))
    w.put("callref %u %s size %d message type %s\n", cref, called ? "called" : "caller", size, name);
  else
    w.put("callref %u %s size %d unknown message type %x!\n", cref, called ? "called" : "caller", size, type);

  while (p < end) {
    const unsigned char id = *p;
    if (id & 0x80) {
      single_octet(w, id);
      ++p;
      continue;
    }
    if (end - p < 2) {
      w.put("  attribute %x without length\n", id);
      return;
    }
    const unsigned length = p[1];
    const unsigned char* contents = p + 2;
    const bool short_cut = length > static_cast<unsigned>(end - contents);
    const Contents c{contents, short_cut ? end : contents + length};
    const Element* element = nullptr;
    for (const Element& e : ielist)
      if (e.id == id) {
        element = &e;
        break;
      }
    if (element) {
      w.put("  %s\n", element->name);
      element->printer(w, c);
    } else {
      w.put("  attribute %x attribute size %d\n", id, length);
    }
    if (short_cut) {
      w.put("  element cut short\n");
      return;
    }
    p = c.end;
  }
}

}  // namespace

void dlogframe(const unsigned char* frame, int length, int network_to_user, char* out, std::size_t size) {
  if (length <= 2 || out == nullptr || size == 0) return;
  Writer w(out, size);
  const unsigned char* end = frame + length;
  for (const unsigned char* p = frame; p < end; ++p) w.put(" %02X", *p);
  w.put("\n");
  w.put("frame %s ", network_to_user ? "network->user" : "user->network");

  const unsigned sapi = frame[0] >> 2;
  const unsigned tei = frame[1] >> 1;
  const unsigned control = frame[2];
  const unsigned char* start = nullptr;
  if (tei == 127) {
    if (sapi == 63) {
      w.put("tei management:\n");
    } else if (sapi != 0) {
      w.put("unknown sapi %d broadcast\n", sapi);
    } else if (control != 3) {
      w.put("no UI broadcast\n");
    } else {
      w.put("broadcast\n");
      start = frame + 3;
    }
  } else if (sapi != 0) {
    w.put("unknown sapi = %d; tei = %d\n", sapi, tei);
  } else if (control & 1) {
    w.put("SFrame tei = %d (", tei);
    for (const unsigned char* p = frame + 2; p < end; ++p) w.put("%02X ", *p);
    w.put(")\n");
  } else {
    w.put("IFrame tei = %d\n", tei);
    start = frame + 4;
  }
  if (start != nullptr) {
    if (start >= end)
      w.put("frame too short\n");
    else
      message(w, start, end);
  }
  w.finish();
}

}  // namespace ISDN
