// The driver device names and the media drivers' texts: every device path,
// every codec name (and the edges around them), the RTP record printers in
// decimal and in hexadecimal, against data/driver_texts.golden.
#include <errno.h>
#include <string.h>

#include <sstream>

#include "hardware/device_names.h"
#include "hardware/rtp_record_text.h"
#include "tests/support/golden.h"

namespace {

// Each record once in the stream's default base and once after std::hex,
// then 255 in the base the printer left.
template <class Record>
void Both(std::ostream& out, const Record& record) {
  std::ostringstream dec, hex;
  hex << std::hex;
  dec << '[' << record << "] " << 255;
  hex << '[' << record << "] " << 255;
  out << dec.str() << '\n' << hex.str() << '\n';
}

TEST(DriverTexts, DeviceNamesCodecNamesAndRecordsMatchTheGoldenFile) {
  std::ostringstream out;
  const std::pair<const char*, const char* (*)()> names[] = {
      {"voice", GetVoiceDevName},   {"mixer", GetMixerDevName},     {"dtmf", GetDTMFDevName},
      {"dsp", GetDSPDevName},       {"rtp", GetRtpDevName},         {"rtp_ext", GetRtpExtDevName},
      {"modem", GetModemDevName},   {"maintenance", GetMaintenance}, {"spi_tdm", GetSpiTdmDevName},
      {"mcc", GetMccDevName},       {"e1-cas", GetE1CasDevName},    {"hal", GetHalDevName}};
  for (const auto& n : names) out << n.first << ' ' << n.second() << '\n';
  for (int codec : {-2147483647 - 1, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2147483647})
    out << "codec " << codec << ' ' << GetCodecAsStr(codec) << '\n';

  Both(out, rtp_connection_params{160, 8, 18, 0, 4294967295u});
  Both(out, rtp_attach_session_params{-1, 31});
  Both(out, rtp_ext_attach_session_params{{12, 4567}});
  Both(out, rtp_ext_init_params{65535});
  Both(out, rtp_channel_info{8330, -3, 17});
  TestGolden::Expect(TestGolden::Beside(__FILE__, "data/driver_texts.golden"), out.str());
}

TEST(DriverTexts, AnRtpErrorPrintsTheErrnoOfItsMakingNotItsCode) {
  errno = ENOENT;
  const RtpErr error(EIO);
  errno = EACCES;
  std::ostringstream text;
  text << error;
  EXPECT_EQ(strerror(ENOENT), text.str());
  EXPECT_EQ(ENOENT, error.error());
  EXPECT_EQ(EIO, error.code());
}

}  // namespace
