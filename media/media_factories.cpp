#include "media/media_factories.h"

RtpFactory& RtpFactory::instance() {
  static RtpFactory factory;
  return factory;
}

ModemFactory& ModemFactory::instance() {
  static ModemFactory factory;
  return factory;
}

Mixer::MixerFactory& Mixer::MixerFactory::instance() {
  static MixerFactory factory;
  return factory;
}

ExtFactory& ExtFactory::instance() {
  static ExtFactory factory;
  return factory;
}

MccFactory& MccFactory::instance() {
  static MccFactory factory;
  return factory;
}

EchoFactory& EchoFactory::instance() {
  static EchoFactory factory;
  return factory;
}

VoiceFactory& VoiceFactory::instance() {
  static VoiceFactory factory;
  return factory;
}

T38SoftFactory& T38SoftFactory::instance() {
  static T38SoftFactory factory;
  return factory;
}
