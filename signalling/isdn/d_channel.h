// The devices the ISDN and QSIG D channel slots stand on, opened at creation
// and again when a slot is activated after its descriptor died. A failure is
// logged on the standard error stream after the prefix "mcc/isdn: ".
#pragma once

#include "foundation/fd.h"

// "/dev/mcc/ctl", allocated as a BRI D channel or a PRI data channel;
// *channel := the channel number the driver gives (negative included).
Fd OpenMccDChannel(bool bri, int* channel);
// "/dev/dsp-data"; *channel := the D channel's timeslot.
Fd OpenQsigDChannel(int* channel);
