// Joining the output of one slot to the input of another, and undoing it.
//
// The functions keep the logical graph (each slot's source and receivers),
// open and release the slots' streams, and choose which slot does the
// hardware work: the one with the higher connection priority; on a tie the
// destination when connecting and the source when disconnecting. By default
// the work is a TDM cross-connection (MuxConnect, MuxDisconnect). A slot
// whose own channel is closed (Slot::IChannelClosed) lost its routes with it:
// a cross-connection to it is refused before the cross-connect is asked, and
// undoing one succeeds with nothing asked of the cross-connect.
//
// The logical graph always matches the hardware: a destination whose
// reconnection to a new source fails has lost its old hardware link too, so
// it is left without a source (its input released) rather than listing a
// source that no longer feeds it.
//
// Messages go to the standard log stream (connections made) and the standard
// error stream (refusals). Loop thread only.
#pragma once

class Slot;

bool Connect(Slot& source, Slot& destination);
// True when the destination had no source.
bool Disconnect(Slot& destination);
bool llConnect(Slot& source, Slot& destination);
// False when the destination has no source.
bool llDisconnect(Slot& destination);
bool MuxConnect(Slot& source, Slot& destination);
bool MuxDisconnect(Slot& slot);
