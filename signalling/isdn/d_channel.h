// The devices the ISDN and QSIG D channel slots stand on, opened at creation
// and again when a slot is activated after its channel died. The slot's
// connections join the channel through the cross-connect, not its
// activation. A failure to open is logged on the standard error stream
// after the prefix "mcc/isdn: ", and so is every line of the channel itself
// (a read error, its traces): such a channel has no trunk or timeslot of its
// own to name.
#pragma once

#include "hardware/hdlc.h"

// "/dev/mcc/ctl", allocated as a BRI D channel or a PRI data channel; the
// channel's number is whatever the driver answers (negative included).
const HDLC::Device& MccDChannel(bool bri);
// "/dev/dsp-data"; the channel's number is the D channel's timeslot.
const HDLC::Device& QsigDChannel();
