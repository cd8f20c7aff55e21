#include "server/assembly.h"

#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/map_slot.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "media/media_factories.h"
#include "monitoring/monitoring_ctl.h"
#include "radio/radio_factories.h"
#include "signalling/slots/hdlc_slot.h"
#include "signalling/slots/pstn_slot.h"

void CreateSlotFactories() {
  CreateTrunkFactories();
  MapFactory::instance();
  PstnFactory::instance();
  RtpFactory::instance();
  ModemFactory::instance();
  Mixer::MixerFactory::instance();
  ExtFactory::instance();
  MccFactory::instance();
  EchoFactory::instance();
  VoiceFactory::instance();
  T38SoftFactory::instance();
  // The ISDN slot factory joins here.
  RtpLEMZFactory::instance();
  RtpED137Factory::instance();
  HdlcSlotFactory::instance();
}

void BindControlServices() {
  CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
  CtrlSrv::ctrlServer.Bind(&Slots::instance());
  // Hardware tests (HwTests) bind here.
  // Bus clock control (BusCtl) binds here.
  // E1 control (E1Ctl) binds here.
  // SPI trunk control (spiCtrl) binds here.
  CtrlSrv::ctrlServer.Bind(&MonitoringCtl::instance());
}
