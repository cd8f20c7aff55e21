// The paths of the board's driver devices, in one place, and small texts for
// the media drivers.
#pragma once

#include <iosfwd>

const char* GetVoiceDevName();      // "/dev/voice"
const char* GetMixerDevName();      // "/dev/mixer"
const char* GetDTMFDevName();       // "/dev/dtmf"
const char* GetDSPDevName();        // "/dev/dsp"
const char* GetRtpDevName();        // "/dev/rtp"
const char* GetRtpExtDevName();     // "/dev/rtp_ext"
const char* GetModemDevName();      // "/dev/mctl"
const char* GetMaintenance();       // "/dev/maintenance"
const char* GetSpiTdmDevName();     // "/dev/spi_tdm"
const char* GetMccDevName();        // "/dev/mcc/ctl"
const char* GetE1CasDevName();      // "/dev/e1-cas"
const char* GetHalDevName();        // "/dev/hal"

// The name of a media driver's codec number: "unknown", "g711", ... "conf";
// "invalid" outside 0..8.
const char* GetCodecAsStr(int codec);

// An error of a media driver request: keeps errno of the moment it was made
// and prints its text (not the code).
class RtpErr {
 public:
  explicit RtpErr(int code);
  int error() const { return errno_; }
  int code() const { return code_; }
  void Put(std::ostream& os) const;

 private:
  int errno_;
  int code_;
};

std::ostream& operator<<(std::ostream& os, const RtpErr& e);
