#include "core/slot_connection.h"

#include <iostream>

#include "core/hw_mux.h"
#include "core/slot.h"

bool Connect(Slot& source, Slot& destination) {
  if (destination.GetSource() == &source) return true;

  if (source.GetReceivers().empty()) {
    if (!source.IOnOutputStream()) {
      std::cerr << "slot " << source << " don't have output stream to " << destination
                << std::endl;
      return false;
    }
    source.OnChangeOutputStream(true);
  }

  Slot* oldSource = destination.GetSource();
  if (!oldSource) {
    if (!destination.IOnInputStream()) {
      std::cerr << "slot " << destination << " don't have input stream from " << source
                << std::endl;
      if (source.GetReceivers().empty()) source.IOnOutputRelease();
      return false;
    }
    destination.OnChangeInputStream(true);
  } else {
    llDisconnect(destination);
  }

  if (!llConnect(source, destination)) {
    if (oldSource) {
      // The old hardware link is already undone: drop the logical one too.
      destination.LogicalDisconnect();
      if (oldSource->GetReceivers().empty()) oldSource->IOnOutputRelease();
    }
    if (!destination.GetSource()) destination.IOnInputRelease();
    if (source.GetReceivers().empty()) source.IOnOutputRelease();
    return false;
  }

  if (oldSource) {
    destination.LogicalDisconnect();
    if (oldSource->GetReceivers().empty()) oldSource->IOnOutputRelease();
  }
  destination.LogicalConnect(source);
  return true;
}

bool Disconnect(Slot& destination) {
  Slot* source = destination.GetSource();
  if (!source) return true;
  bool result = llDisconnect(destination);
  destination.LogicalDisconnect();
  destination.IOnInputRelease();
  if (source->GetReceivers().empty()) source->IOnOutputRelease();
  return result;
}

bool llConnect(Slot& source, Slot& destination) {
  if (source.GetConnectionPriority() <= destination.GetConnectionPriority())
    return destination.IHwConnectReceiver(source);
  return source.IHwConnectTransmitter(destination);
}

bool llDisconnect(Slot& destination) {
  Slot* source = destination.GetSource();
  if (!source) return false;
  if (destination.GetConnectionPriority() <= source->GetConnectionPriority())
    return source->IHwDisconnectTransmitter(destination);
  return destination.IHwDisconnectReceiver(*source);
}

bool MuxConnect(Slot& source, Slot& destination) {
  for (Slot* slot : {&source, &destination}) {
    if (slot->IChannelClosed()) {
      std::cerr << "mux: slot " << *slot << " refused: its channel is closed" << std::endl;
      return false;
    }
  }
  int transmit = source.IGetTransmitChannel();
  int receive = destination.IGetReceiveChannel();
  if (!HwMux::instance().Connect(transmit, receive)) return false;
  std::clog << "mux: slot " << source << " [" << transmit << "] -> " << destination << " ["
            << receive << "]" << std::endl;
  return true;
}

bool MuxDisconnect(Slot& slot) {
  if (slot.IChannelClosed()) {
    std::clog << "mux: disconnect slot " << slot << ": its channel is closed, no route left" << std::endl;
    return true;
  }
  int channel = slot.IGetReceiveChannel();
  if (!HwMux::instance().Disconnect(channel)) return false;
  std::clog << "mux: disconnect slot " << slot << " [" << channel << "]" << std::endl;
  return true;
}
