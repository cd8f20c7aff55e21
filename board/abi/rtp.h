// Records of the board's RTP drivers ("/dev/rtp" and "/dev/rtp_ext").
//
// Host-order structs laid out as the drivers lay them out (big-endian on the
// board). Besides the event record, the parameter records are here for their
// printers (hardware/rtp_record_text.h); nothing in this system issues the
// requests that carry them, so no request code is listed.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The head of the RTP driver's event record; type 1 is the packet detector.
struct rtp_event {
  uint32_t type;
  uint32_t value;
  uint32_t timeout;
};

static_assert(offsetof(rtp_event, type) == 0, "type at byte 0");
static_assert(offsetof(rtp_event, value) == 4, "value at byte 4");
static_assert(offsetof(rtp_event, timeout) == 8, "timeout at byte 8");

// A session's packetisation and payload types, and its synchronisation source.
struct rtp_connection_params {
  uint16_t packet_factor;
  uint16_t rx_pt;
  uint16_t tx_pt;
  uint16_t padding;
  uint32_t ssrc;
};

static_assert(sizeof(rtp_connection_params) == 12, "connection record is 12 bytes");
static_assert(offsetof(rtp_connection_params, packet_factor) == 0, "packet factor at byte 0");
static_assert(offsetof(rtp_connection_params, rx_pt) == 2, "rx payload type at byte 2");
static_assert(offsetof(rtp_connection_params, tx_pt) == 4, "tx payload type at byte 4");
static_assert(offsetof(rtp_connection_params, ssrc) == 8, "SSRC at byte 8");

// The UDP socket and the process that owns it, handed to the driver.
struct rtp_attach_session_params {
  int32_t fd_rtp;
  int32_t pid_rtp;
};

static_assert(sizeof(rtp_attach_session_params) == 8, "attach record is 8 bytes");
static_assert(offsetof(rtp_attach_session_params, fd_rtp) == 0, "descriptor at byte 0");
static_assert(offsetof(rtp_attach_session_params, pid_rtp) == 4, "process id at byte 4");

// The same attachment for the header-extension driver.
struct rtp_ext_attach_session_params {
  rtp_attach_session_params session;
};

static_assert(sizeof(rtp_ext_attach_session_params) == 8, "extension attach record is 8 bytes");
static_assert(offsetof(rtp_ext_attach_session_params, session) == 0, "attachment at byte 0");

// The header-extension type a session carries.
struct rtp_ext_init_params {
  uint16_t etype;
};

static_assert(sizeof(rtp_ext_init_params) == 2, "extension init record is 2 bytes");
static_assert(offsetof(rtp_ext_init_params, etype) == 0, "extension type at byte 0");

// Where an RTP channel sits: its cross-connect channel, device and channel.
struct rtp_channel_info {
  int32_t tdm;
  int32_t dev_no;
  int32_t chn;
};

static_assert(sizeof(rtp_channel_info) == 12, "channel record is 12 bytes");
static_assert(offsetof(rtp_channel_info, tdm) == 0, "cross-connect channel at byte 0");
static_assert(offsetof(rtp_channel_info, dev_no) == 4, "device number at byte 4");
static_assert(offsetof(rtp_channel_info, chn) == 8, "channel at byte 8");
