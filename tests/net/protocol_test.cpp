// Protocol-stack framework: routing of data, activation, deactivation and
// status through neighbours and parents; header room; names; ownership.
#include "net/protocol.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> journal;

// A layer that records what reaches it and can reserve header room.
class Layer : public Protocol {
 public:
  Layer(std::string tag, unsigned head = 0) : tag_(std::move(tag)), head_(head) {}
  ~Layer() override { journal.push_back(tag_ + ".deleted"); }

  void local_prepare_head(Packet& p) override { p.reserve_head(head_); }
  void local_activate() override {
    journal.push_back(tag_ + ".local_activate");
    Protocol::local_activate();
  }
  void local_deactivate() override {
    journal.push_back(tag_ + ".local_deactivate");
    Protocol::local_deactivate();
  }
  void message(Packet& p) override {
    journal.push_back(tag_ + ".message " + p.text());
    p.push8(static_cast<std::uint8_t>(head_));
    transmit(p);
  }
  void receive(Packet& p) override {
    journal.push_back(tag_ + ".receive " + p.text());
    p.pull8();
    on_message(p);
  }
  void on_deactivate(Protocol_status s) override {
    journal.push_back(tag_ + ".on_deactivate " + s->message());
    Protocol::on_deactivate(s);
  }
  bool compare_name(const Protocol_name& n) const override {
    return Protocol_name_str(tag_.c_str()).compare(n);
  }
  Protocol_status fail_init;

  Protocol_status local_initialize() override {
    journal.push_back(tag_ + ".local_initialize");
    if (fail_init) return fail_init;
    return Protocol::local_initialize();
  }

 private:
  std::string tag_;
  unsigned head_;
};

// The outermost owner: records what leaves the family.
class Owner : public ProtocolsList {
 public:
  void on_activated(Protocol*) override { journal.push_back("owner.on_activated"); }
  void on_deactivated(Protocol*, Protocol_status s) override {
    journal.push_back("owner.on_deactivated " + s->message());
    last = s;
  }
  void transmit(Packet& p) override { journal.push_back("owner.transmit " + p.text()); }
  void on_message(Packet& p) override { journal.push_back("owner.on_message " + p.text()); }
  void on_status(Protocol_status s) override { journal.push_back("owner.on_status " + s->message()); }
  Protocol_status last;
};

struct Stack : ::testing::Test {
  Stack() {
    journal.clear();
    family = new ProtocolsFamily;
    a = static_cast<Layer*>(family->add_protocol_tail(new Layer("A", 0)));
    b = static_cast<Layer*>(family->add_protocol_tail(new Layer("B", 4)));
    owner.add_protocol_tail(family);
  }
  ~Stack() override { owner.last.clean(); }
  Owner owner;
  ProtocolsFamily* family;
  Layer* a;
  Layer* b;
};

using Lines = std::vector<std::string>;

TEST_F(Stack, ActivationRunsBottomUpDeactivationTopDown) {
  family->activate();
  EXPECT_EQ((Lines{"A.local_activate", "B.local_activate", "owner.on_activated"}), journal);
  journal.clear();
  family->deactivate();
  EXPECT_EQ((Lines{"B.local_deactivate", "B.on_deactivate success", "A.local_deactivate",
                   "A.on_deactivate success", "owner.on_deactivated success"}),
            journal);
  EXPECT_TRUE(owner.last->success());
  EXPECT_EQ(a, owner.last->originator());
}

TEST_F(Stack, ErrorClimbsWithTheSameStatusObject) {
  Protocol_status error(new Protocol_status_error(a, "link lost"));
  a->on_deactivate(error);
  EXPECT_EQ((Lines{"A.on_deactivate link lost", "B.on_deactivate link lost",
                   "owner.on_deactivated link lost"}),
            journal);
  EXPECT_EQ(error.get(), owner.last.get());
  EXPECT_FALSE(owner.last->success());
}

TEST_F(Stack, DataTravelsThroughTheLayers) {
  Packet p;
  family->prepare_head(p);
  EXPECT_EQ(4u, p.headroom());
  EXPECT_EQ(0u, p.length());
  p.put8(0xAA);
  family->message(p);
  EXPECT_EQ((Lines{"B.message AA", "A.message 04 AA", "owner.transmit 00 04 AA"}), journal);
  journal.clear();
  family->receive(p);
  EXPECT_EQ((Lines{"A.receive 00 04 AA", "B.receive 04 AA", "owner.on_message AA"}), journal);
  journal.clear();
  b->on_status(Protocol_status(new Protocol_status_success(b, "fine")));
  EXPECT_EQ((Lines{"owner.on_status fine"}), journal);
}

TEST_F(Stack, InitializeStopsAtTheFirstFailure) {
  Protocol_status s = family->initialize();
  EXPECT_TRUE(s->success());
  EXPECT_EQ("success", s->message());
  EXPECT_EQ(b, s->originator());
  journal.clear();
  a->fail_init = Protocol_status(new Protocol_status_error(a, "no channel"));
  s = family->initialize();
  EXPECT_EQ((Lines{"A.local_initialize"}), journal);
  EXPECT_EQ(a->fail_init.get(), s.get());
  a->fail_init.clean();
  ProtocolsFamily empty;
  Protocol_status e = empty.initialize();
  EXPECT_FALSE(e->success());
  EXPECT_EQ("error", e->message());
}

TEST_F(Stack, SearchAndNames) {
  EXPECT_EQ(b, family->search(Protocol_name_str("B")));
  EXPECT_EQ(nullptr, family->search(Protocol_name_str("C")));
  EXPECT_EQ(nullptr, owner.search(Protocol_name_str("A")));  // default compare_name
  EXPECT_FALSE(Protocol_name_null().compare(Protocol_name_str("x")));
  std::ostringstream os;
  os << *a << '|' << Protocol_name_str("TPKT");
  EXPECT_EQ("(no name)|TPKT", os.str());
}

TEST_F(Stack, OwnershipTopFirstAndSelfUnlinking) {
  delete a;  // unlinks itself from the family
  EXPECT_EQ(1u, family->count());
  EXPECT_EQ(b, family->bottom());
  family->add_protocol_head(new Layer("C"));
  journal.clear();
  delete family;  // leaves the owner; its layers go top first
  EXPECT_EQ((Lines{"B.deleted", "C.deleted"}), journal);
  EXPECT_EQ(0u, owner.count());
}

TEST(ProtocolAlone, NullStatusIsFatal) {
  EXPECT_DEATH({ Protocol_status s; s->success(); }, "SMART POINTER ASSERTION!");
}

}  // namespace
