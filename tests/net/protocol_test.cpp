// Protocol stacks: initialisation from the bottom up, stopping at the first
// layer that fails, and the search of a list's layers by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/protocol.h"

namespace {

// A named layer that records its initialisation in `order` and can fail it.
struct Layer : Protocol {
  Layer(std::string tag, std::string* order, bool fail = false)
      : tag(std::move(tag)), order(order), fail(fail) {}
  bool compare_name(const Protocol_name& other) const override {
    return Protocol_name_str(tag.c_str()).compare(other);
  }
  Protocol_status local_initialize() override {
    *order += tag;
    if (fail) return Protocol_status(new Protocol_status_error(this, "no channel " + tag));
    return Protocol::local_initialize();
  }
  std::string tag;
  std::string* order;
  bool fail;
};

// Layers bottom first; the tags of those that fail are in `failing`.
void Build(ProtocolsList& list, const std::string& tags, const std::string& failing,
           std::string* order) {
  for (char t : tags)
    list.add_protocol_tail(new Layer(std::string(1, t), order, failing.find(t) != std::string::npos));
}

TEST(ProtocolStack, InitializeRunsBottomUpAndReturnsTheFirstFailureUnchanged) {
  struct Case {
    const char* failing;
    const char* initialised;  // in order
    const char* text;
    char originator;
  } cases[] = {
      {"", "ABC", "success", 'C'},
      {"A", "A", "no channel A", 'A'},
      {"B", "AB", "no channel B", 'B'},
      {"BC", "AB", "no channel B", 'B'},
      {"C", "ABC", "no channel C", 'C'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("failing ") + c.failing);
    std::string order;
    ProtocolsFamily family;
    Build(family, "ABC", c.failing, &order);
    const Protocol_status status = family.initialize();
    EXPECT_EQ(c.initialised, order);
    EXPECT_EQ(*c.failing == 0, status->success());
    EXPECT_EQ(c.text, status->message());
    const Layer* from = dynamic_cast<const Layer*>(status->originator());
    ASSERT_NE(nullptr, from);
    EXPECT_EQ(std::string(1, c.originator), from->tag);
  }
}

TEST(ProtocolStack, ALayerBelowAFamilyThatFailsKeepsTheFamilyUninitialised) {
  std::string order;
  ProtocolsList outer;
  outer.add_protocol_tail(new Layer("X", &order, true));
  auto* family = static_cast<ProtocolsFamily*>(outer.add_protocol_tail(new ProtocolsFamily));
  Build(*family, "AB", "", &order);
  const Protocol_status status = family->initialize();
  EXPECT_EQ("X", order);
  EXPECT_EQ("no channel X", status->message());
}

TEST(ProtocolStack, AnEmptyFamilyAnswersAnInitializeErrorOfItsOwn) {
  ProtocolsFamily family;
  const Protocol_status status = family.initialize();
  EXPECT_FALSE(status->success());
  EXPECT_EQ("error", status->message());
  EXPECT_EQ(&family, status->originator());
}

TEST(ProtocolStack, SearchFindsTheFirstLayerFromTheBottomWhoseNameMatches) {
  std::string order;
  ProtocolsList list;
  EXPECT_EQ(nullptr, list.search(Protocol_name_str("A")));
  Protocol* plain = list.add_protocol_tail(new Protocol);  // the default compare_name
  Build(list, "ABA", "", &order);
  auto* inner = static_cast<ProtocolsFamily*>(list.add_protocol_tail(new ProtocolsFamily));
  Build(*inner, "D", "", &order);

  Protocol* first = plain->upper();
  EXPECT_EQ(first, list.search(Protocol_name_str("A")));
  EXPECT_EQ(first->upper(), list.search(Protocol_name_str("B")));
  // Only the list's own layers, not those of a family inside it.
  EXPECT_EQ(nullptr, list.search(Protocol_name_str("D")));
  EXPECT_EQ(inner->bottom(), inner->search(Protocol_name_str("D")));
  // No layer answers to a null name, nor to a text none of them has.
  EXPECT_EQ(nullptr, list.search(Protocol_name_null()));
  EXPECT_EQ(nullptr, list.search(Protocol_name_str(nullptr)));
  EXPECT_EQ(nullptr, list.search(Protocol_name_str("AB")));
  EXPECT_EQ("", order);
}

}  // namespace
