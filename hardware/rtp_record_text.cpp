#include "hardware/rtp_record_text.h"

#include <ostream>

namespace {
const char kIndent[] = "  ";
}  // namespace

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p) {
  return os << kIndent << "rtp_connection_params" << '\n'
            << kIndent << "{" << '\n'
            << kIndent << " packet_factor = " << p.packet_factor << '\n'
            << kIndent << " rx_pt = " << p.rx_pt << '\n'
            << kIndent << " tx_pt = " << p.tx_pt << '\n'
            << kIndent << " ssrc = " << p.ssrc << '\n'
            << kIndent << "}" << '\n';
}

std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p) {
  return os << kIndent << "rtp_attach_session_params" << '\n'
            << kIndent << "{" << '\n'
            << kIndent << " fd_rtp = " << p.fd_rtp << '\n'
            << kIndent << " pid_rtp = " << p.pid_rtp << '\n'
            << kIndent << "}" << '\n';
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p) {
  return os << kIndent << "rtp_ext_attach_session_params" << '\n' << p.session;
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p) {
  return os << kIndent << "rtp_ext_init_params" << '\n'
            << kIndent << "{" << '\n'
            << kIndent << " etype = " << p.etype << '\n'
            << kIndent << "}" << '\n';
}

// Always decimal, unlike the blocks; the caller's base is left as it was.
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& p) {
  const std::ios_base::fmtflags flags = os.flags();
  os << std::dec << "rtp_channel_info" << " {" << " tdm=" << p.tdm << " dev_no=" << p.dev_no
     << " chn=" << p.chn << " }";
  os.flags(flags);
  return os;
}
