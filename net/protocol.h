// Protocol stacks built from layers.
//
// Orientation: the head of a ProtocolsList is the bottom of the stack (the
// wire side), its tail the top. A layer's lower neighbour is the previous
// item of its list, its upper neighbour the next one; a layer in no list has
// neither and no parent.
//
// Routing (defaults of the virtual operations):
//  - transmit(p): down to the lower neighbour's message(p); at the bottom of
//    a list, the list's own transmit(p); outside any list, dropped.
//  - on_message(p): up to the upper neighbour's receive(p); at the top, the
//    list's own on_message(p); outside any list, dropped.
//  - activate(): descends to the bottom layer's local_activate(); a layer that
//    is up calls on_activate(), which starts the layer above (its
//    local_activate()) or, at the top, tells the parent on_activated(this).
//  - deactivate(): local_deactivate(), which by default reports success with
//    on_deactivate(). A success status travels down (the lower neighbour's
//    deactivate()), a failure travels up (the upper neighbour's
//    on_deactivate(same status)); at the end of the walk the parent hears
//    on_deactivated(this, status).
//  - on_status(s): up to the upper neighbour, else the parent.
// Every call is synchronous: a layer's callback may run inside the call that
// triggered it, and may re-enter the stack.
//
// Ownership: a list owns its layers (add_protocol_head/tail take ownership)
// and deletes them top first when it is destroyed. Deleting a layer that is
// still in a list unlinks it first.
#pragma once

#include <iosfwd>

#include "foundation/dual_list.h"
#include "net/packet.h"
#include "net/protocol_name.h"
#include "net/protocol_status.h"

class ProtocolsList;

class Protocol_info {
 public:
  Protocol_info() = default;
  virtual ~Protocol_info() = default;
  Protocol_info(const Protocol_info&) = delete;
  Protocol_info& operator=(const Protocol_info&) = delete;

  virtual bool compare_name(const Protocol_name&) const { return false; }
  virtual const Protocol_name& name() const { return null_name_; }

  void out(std::ostream& os) const;

 private:
  Protocol_name_null null_name_;
};

std::ostream& operator<<(std::ostream& os, const Protocol_info& info);

class Protocol : public Protocol_info, public F_dual_list_item<Protocol> {
 public:
  Protocol() = default;
  ~Protocol() override;

  virtual void local_prepare_head(Packet& packet);
  virtual void local_prepare_tail(Packet& packet);
  virtual Protocol_status local_initialize();
  virtual void local_activate();
  virtual void local_deactivate();
  virtual void transmit(Packet& packet);
  virtual void on_message(Packet& packet);
  virtual void on_activate();
  virtual void on_deactivate(Protocol_status status);
  virtual void on_status(Protocol_status status);
  virtual void message(Packet& packet);
  virtual void receive(Packet& packet);
  virtual void activate();
  virtual void deactivate();
  virtual void protocol_info(std::ostream& os) const;

  // Reserves the header room of every layer from the bottom up to this one.
  void prepare_head(Packet& packet);
  void prepare_tail(Packet& packet);
  // Initialises the layers from the bottom up; returns the first failure, or
  // this layer's own status.
  Protocol_status initialize();

  ProtocolsList* parent() const { return parent_; }
  Protocol* lower() const { return get_prev(); }
  Protocol* upper() const { return get_next(); }

 private:
  friend class ProtocolsList;
  ProtocolsList* parent_ = nullptr;
};

class ProtocolsList : public Protocol, public F_dual_list<Protocol> {
 public:
  ProtocolsList() = default;
  // Deletes the layers, top first.
  ~ProtocolsList() override;

  virtual void on_activated(Protocol* layer);
  virtual void on_deactivated(Protocol* layer, Protocol_status status);
  // Take ownership of `layer` and link it at the bottom (head) or top (tail).
  virtual Protocol* add_protocol_head(Protocol* layer);
  virtual Protocol* add_protocol_tail(Protocol* layer);

  // The first layer, bottom up, whose compare_name(name) is true; null if none.
  Protocol* search(const Protocol_name& name) const;

  Protocol* bottom() const { return get_head(); }
  Protocol* top() const { return get_tail(); }

 private:
  friend class Protocol;
};

// A list that behaves as one composite layer inside a larger stack.
class ProtocolsFamily : public ProtocolsList {
 public:
  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  Protocol_status local_initialize() override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override;
  void receive(Packet& packet) override;
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Protocol_status status) override;
};
