// The slot factories of the media and data slots, as far as the server has
// them: each exists once, joins the slot-factory chain when start-up builds
// it, and makes no slot yet, so a create command for its alternative is
// answered `insufficientResources`. They add nothing to the resource report.
#pragma once

#include "core/slot_factory.h"

// A factory that takes no creation parameters.
class MediaFactory : public SlotFactory {
 public:
  explicit MediaFactory(const char* name) : name_(name) {}
  const char* GetName() const override { return name_; }
  Slot* INewSlot(const LGCP::CreateParams&) override { return nullptr; }
  void Query(LGCP::Resources&) override {}

 private:
  const char* name_;
};

class RtpFactory : public MediaFactory {
 public:
  static RtpFactory& instance();

 private:
  RtpFactory() : MediaFactory("Rtp") {}
};

class ModemFactory : public MediaFactory {
 public:
  static ModemFactory& instance();

 private:
  ModemFactory() : MediaFactory("Modem") {}
};

namespace Mixer {
class MixerFactory : public MediaFactory {
 public:
  static MixerFactory& instance();

 private:
  MixerFactory() : MediaFactory("Mixer") {}
};
}  // namespace Mixer

class ExtFactory : public MediaFactory {
 public:
  static ExtFactory& instance();

 private:
  ExtFactory() : MediaFactory("Ext") {}
};

class MccFactory : public MediaFactory {
 public:
  static MccFactory& instance();

 private:
  MccFactory() : MediaFactory("Mcc") {}
};

class EchoFactory : public MediaFactory {
 public:
  static EchoFactory& instance();

 private:
  EchoFactory() : MediaFactory("Echo") {}
};

class VoiceFactory : public MediaFactory {
 public:
  static VoiceFactory& instance();

 private:
  VoiceFactory() : MediaFactory("Voice") {}
};

class T38SoftFactory : public MediaFactory {
 public:
  static T38SoftFactory& instance();

 private:
  T38SoftFactory() : MediaFactory("T38Soft") {}
};
