#include "server/assembly.h"

#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/map_slot.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "media/media_factories.h"
#include "monitoring/monitoring_ctl.h"
#include "radio/radio_factories.h"
#include "signalling/isdn/isdn_factory.h"
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
  IsdnFactory::instance();
  RtpLEMZFactory::instance();
  RtpED137Factory::instance();
  HdlcSlotFactory::instance();
}

void BindControlServices() {
  CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
  CtrlSrv::ctrlServer.Bind(&Slots::instance());
  CtrlSrv::ctrlServer.Bind(&HwTests::instance());
  CtrlSrv::ctrlServer.Bind(&BusCtl::instance());
  CtrlSrv::ctrlServer.Bind(&E1Ctl::instance());
  CtrlSrv::ctrlServer.Bind(&spiCtrl::instance());
  CtrlSrv::ctrlServer.Bind(&MonitoringCtl::instance());
}
