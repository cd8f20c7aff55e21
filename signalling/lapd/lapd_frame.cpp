#include "signalling/lapd/lapd_frame.h"

namespace ISDN {

bool parse_frame(const unsigned char* data, unsigned length, FrameHeader* out) {
  if (length < 3) return false;  // no control field: not a frame (Q.921 5.8.4)
  if (data[0] & 1) return false;
  if (!(data[1] & 1)) return false;
  FrameHeader h;
  h.sapi = data[0] >> 2;
  h.cr = data[0] & 2;
  h.tei = data[1] >> 1;
  h.control = data[2];
  if (!(h.control & 1)) {
    if (length < 4) return false;
    h.format = FrameFormat::I;
    h.ns = h.control >> 1;
    h.nr = data[3] >> 1;
    h.pf = data[3] & 1;
    h.length = 4;
  } else if ((h.control & 3) == 1) {
    if (length < 4) return false;
    h.format = FrameFormat::S;
    h.code = static_cast<Supervisory>((h.control >> 2) & 3);
    h.nr = data[3] >> 1;
    h.pf = data[3] & 1;
    h.length = 4;
  } else {
    h.format = FrameFormat::U;
    h.utype = h.control & static_cast<unsigned char>(~UType::PF);
    h.pf = h.control & UType::PF;
    h.length = 3;
  }
  *out = h;
  return true;
}

bool parse_tei_message(const unsigned char* info, unsigned length, TeiMessage* out) {
  if (length <= 4 || info[0] != tei_entity) return false;
  out->ri = static_cast<std::uint16_t>(info[1] | info[2] << 8);
  out->type = info[3];
  out->ai = info[4] >> 1;
  return true;
}

Packet build_tei_frame(bool network, std::uint16_t ri, unsigned type, unsigned ai, unsigned headroom) {
  Packet p;
  p.reserve_head(headroom);
  p.put8(address1(sapi_tei_management, network));
  p.put8(address2(tei_group));
  p.put8(UType::UI);
  p.put8(tei_entity);
  p.put16(ri);
  p.put8(static_cast<std::uint8_t>(type));
  p.put8(static_cast<std::uint8_t>(ai << 1 | 1));
  return p;
}

}  // namespace ISDN
