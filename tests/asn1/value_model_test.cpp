// The value model: creation, presence, selection, lists, comparison, copies,
// the visitor walks and the helpers, on the generated-style PerTest classes.
#include <gtest/gtest.h>

#include <memory>

#include "tests/asn1/rule_helpers.h"


namespace {

using namespace PerTest;

// Strict validity compares the distance from the lower bound, so a negative
// lower bound works.
TEST(ValueModel, StrictValidity) {
  Fixed<-128, 127u> neg;
  for (int v : {5, -5, -128, 127}) {
    neg.setValue(v);
    EXPECT_TRUE(neg.isStrictValid()) << v;
  }
  for (int v : {-129, 128, 2147483647, -2147483647 - 1}) {
    neg.setValue(v);
    EXPECT_FALSE(neg.isStrictValid()) << v;
  }
  Fixed<0, 1023u> slot;
  slot = 1024;
  EXPECT_FALSE(slot.isStrictValid());
  Fixed<-2147483647 - 1, 2147483647u> full;
  full.setValue(-2147483647 - 1);
  EXPECT_TRUE(full.isStrictValid());
}

TEST(ValueModel, OptionalFieldsAndExtensionAdditions) {
  Msg m;
  EXPECT_NE(nullptr, m.getField(2));
  EXPECT_EQ(nullptr, m.getField(0));
  EXPECT_FALSE(m.hasOptionalField(0));
  EXPECT_FALSE(m.hasOptionalField(1));
  // Include creates the default value; remove keeps it for a later include.
  ASN1::AbstractData* seq = m.includeOptionalField(0, 0);
  ASSERT_NE(nullptr, seq);
  EXPECT_EQ(0u, m.get_seq().getValue());
  m.set_seq(42);
  m.omit_seq();
  EXPECT_FALSE(m.seq_isPresent());
  EXPECT_EQ(seq, m.getField(0));
  m.includeOptionalField(0, 0);
  EXPECT_EQ(42u, m.get_seq().getValue());
  // Extension addition 0 (presence number numOptional + 0 = 4) grows the map.
  EXPECT_EQ(0u, m.extensionMap().size());
  m.includeOptionalField(4, 7);
  EXPECT_EQ(1u, m.extensionMap().size());
  EXPECT_TRUE(m.hasOptionalField(4));
  EXPECT_FALSE(m.hasOptionalField(5));
  EXPECT_NE(nullptr, m.getField(7));
  EXPECT_EQ(nullptr, m.getField(8));
  // Beyond both maps.
  EXPECT_FALSE(m.hasOptionalField(40));
  m.removeOptionalField(40);
  EXPECT_EQ(1u, m.extensionMap().size());
}

TEST(ValueModel, BitMapLayout) {
  ASN1::SEQUENCE::BitMap map;
  map.resize(10);
  EXPECT_EQ(2u, map.byteCount());
  map.set(9);
  EXPECT_EQ(0x40, static_cast<unsigned char>(map.data()[1]));
  EXPECT_TRUE(map[9]);
  EXPECT_FALSE(map[10]);
  map.set(10);  // beyond the size: nothing
  EXPECT_EQ(0x40, static_cast<unsigned char>(map.data()[1]));
  map.clear(9);
  EXPECT_FALSE(map.any());
  map.set(9);
  map.resize(9);
  map.resize(10);
  EXPECT_FALSE(map[9]);  // a bit cut off does not come back
  map.set(0);
  map.resize(0);
  map.resize(16);
  EXPECT_FALSE(map.any());  // nor a whole byte cut off
}

// Maps longer than 64 bits move out of the object; copies, swaps and
// resizes keep every bit across that boundary.
TEST(ValueModel, LongBitMaps) {
  ASN1::SEQUENCE::BitMap small;
  small.resize(5);
  small.set(4);
  ASN1::SEQUENCE::BitMap big;
  big.resize(60);
  big.set(59);
  big.resize(128);  // grows out of the object, bit 59 kept
  big.set(127);
  EXPECT_EQ(16u, big.byteCount());
  EXPECT_TRUE(big[59]);
  EXPECT_TRUE(big[127]);
  EXPECT_FALSE(big[64]);
  ASN1::SEQUENCE::BitMap copy(big);
  big.clear(59);
  EXPECT_TRUE(copy[59]);
  EXPECT_TRUE(copy[127]);
  copy.swap(small);
  EXPECT_EQ(5u, copy.size());
  EXPECT_TRUE(copy[4]);
  EXPECT_EQ(128u, small.size());
  EXPECT_TRUE(small[127]);
  copy = small;
  EXPECT_TRUE(copy[59]);
  EXPECT_TRUE(copy[127]);
  small.resize(65);
  small.resize(128);
  EXPECT_FALSE(small[127]);
  EXPECT_TRUE(small[59]);
  small = ASN1::SEQUENCE::BitMap();
  EXPECT_EQ(0u, small.size());
}

// Freed values wait on their size class's free list and are handed out
// again; the lists keep a bounded number of bytes and never take blocks
// above the largest class.
TEST(ValuePool, FreedValuesAreReusedWithinBounds) {
  if (!ASN1::detail::kPoolEnabled) GTEST_SKIP() << "not pooled under the address sanitizer";
  using ASN1::detail::poolCachedBlocks;
  const std::size_t size = sizeof(Item);
  Item* first = new Item;
  first->set_id(7);
  const std::size_t taken = poolCachedBlocks(size);
  delete first;
  EXPECT_LT(taken, poolCachedBlocks(size));
  Item* again = new Item;
  EXPECT_EQ(static_cast<void*>(first), static_cast<void*>(again));
  EXPECT_EQ(0u, again->get_id().getValue());  // a fresh default value
  delete again;

  std::vector<void*> blocks;
  for (std::size_t i = 0; i < 2 * ASN1::detail::kPoolCacheBytes / 8; ++i)
    blocks.push_back(ASN1::detail::poolAllocate(8));
  for (void* b : blocks) ASN1::detail::poolDeallocate(b, 8);
  EXPECT_EQ(ASN1::detail::kPoolCacheBytes / 8, poolCachedBlocks(8));

  void* large = ASN1::detail::poolAllocate(ASN1::detail::kPoolMaxSize + 1);
  ASN1::detail::poolDeallocate(large, ASN1::detail::kPoolMaxSize + 1);
  EXPECT_EQ(0u, poolCachedBlocks(ASN1::detail::kPoolMaxSize + 1));
}

// A descriptor's initial extension map is (n + 7) / 8 bytes long; reading n
// bytes would run past a short table.
TEST(ValueModel, InitialExtensionsCopyTheMapBytesOnly) {
  static const ASN1::TypeInfo* const infos[] = {
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo,
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo,
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo};
  static const int ids[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  static const char* const names[] = {"r", "e0", "e1", "e2", "e3", "e4", "e5", "e6", "e7", "e8"};
  static const char initial[] = {char(0x80), char(0x80)};
  static const ASN1::SEQUENCE::InfoType info = {
      {&ASN1::SEQUENCE::create, 16}, true, infos, ids, 1, 9, 0, initial, nullptr, names};
  ASN1::SEQUENCE s(&info);
  EXPECT_EQ(9u, s.extensionMap().size());
  EXPECT_TRUE(s.hasOptionalField(0));
  EXPECT_TRUE(s.hasOptionalField(8));
  EXPECT_FALSE(s.hasOptionalField(1));
  EXPECT_NE(nullptr, s.getField(1));
  EXPECT_NE(nullptr, s.getField(9));
  EXPECT_EQ(nullptr, s.getField(2));
}

// Records of a few fields hold their field pointers in the object, larger
// ones in a separate array: assignment and swap move values either way.
TEST(ValueModel, SmallAndLargeRecordsSwapAndAssign) {
  Item small1;
  small1.set_id(1);
  small1.set_label("one");
  Item small2;
  small2.set_id(2);
  const ASN1::AbstractData* label = small1.getField(1);
  small1.swap(small2);
  EXPECT_EQ(2u, small1.get_id().getValue());
  EXPECT_FALSE(small1.label_isPresent());
  EXPECT_EQ(1u, small2.get_id().getValue());
  EXPECT_EQ(label, small2.getField(1));  // the value object moved, not a copy
  small1 = small2;
  small2.set_label("two");
  EXPECT_EQ("one", small1.get_label());

  Ints big1;
  big1.set_u(-5);
  big1.set_k64(65535);
  Ints big2;
  big2.set_u(9);
  const ASN1::AbstractData* u = big1.getField(0);
  big1.swap(big2);
  EXPECT_EQ(9, big1.get_u().getValue());
  EXPECT_EQ(0u, big1.get_k64().getValue());
  EXPECT_EQ(-5, big2.get_u().getValue());
  EXPECT_EQ(u, big2.getField(0));
  big1 = big2;
  big2.set_k64(1);
  EXPECT_EQ(65535u, big1.get_k64().getValue());
  EXPECT_EQ(0, big1.compare(Ints(big1)));
}

TEST(ValueModel, ChoiceSelection) {
  Cmd unselected;
  Cmd copy(unselected);
  EXPECT_EQ(-1, copy.currentSelection());
  EXPECT_EQ(0, copy.compare(unselected));
  Cmd c;
  c.select_connect(9);
  ASN1::AbstractData* before = c.getSelection();
  EXPECT_TRUE(c.select(2));  // already selected: the value stays
  EXPECT_EQ(before, c.getSelection());
  EXPECT_EQ(9u, c.get_connect().getValue());
  c.select_connect();  // a selector makes a fresh default value
  EXPECT_EQ(0u, c.get_connect().getValue());
  EXPECT_FALSE(c.select(6));  // totalChoices
  EXPECT_EQ(-2, c.currentSelection());
  EXPECT_TRUE(c.isUnknownSelection());
  EXPECT_EQ(nullptr, c.getSelection());
  // Without a tag table, setID selects by context tag number.
  EXPECT_TRUE(c.setID(3, 2));
  EXPECT_TRUE(c.ints_isSelected());
  EXPECT_EQ(ASN1::contextTag(3), c.getSelectionTag());
  EXPECT_STREQ("ints", c.getSelectionName());
  Cmd built{Cmd::ints::id, Ints()};
  EXPECT_TRUE(built.ints_isSelected());
}

// (The kinds' encodings are in the PER and BER vectors, their texts in the
// value-notation cases; here what those do not reach.)
TEST(ValueModel, AnObjectIdentifierCutShortAndATimeTooShortAreRefused) {
  ASN1::OBJECT_IDENTIFIER back;
  const std::vector<char> cut = TestBytes::FromHex("8180");
  EXPECT_FALSE(back.decodeCommon(cut.data(), 2));

  ASN1::GeneralizedTime t(2024, 3, 5, 12, 30, 45, 7, 0, true);
  ASN1::GeneralizedTime u("20240305123045+0130");
  EXPECT_EQ(90, u.getMinDiff());
  EXPECT_EQ("20240305123045+0130", u.get());
  ASN1::GeneralizedTime w("20240305123045.5-0030");
  EXPECT_EQ(500, w.getMillisec());
  EXPECT_EQ(-30, w.getMinDiff());
  EXPECT_EQ("00010101000000", ASN1::GeneralizedTime().get());
  // A text too short for the fixed positions is refused, the value unchanged.
  EXPECT_FALSE(t.set("2024"));
  EXPECT_FALSE(t.set(""));
  EXPECT_FALSE(t.set("2024030512304"));
  EXPECT_EQ("20240305123045.007Z", t.get());
  ASN1::GeneralizedTime epoch;
  epoch.set_time_t(86400 + 3661);
  EXPECT_EQ("19700102010101", epoch.get());
  EXPECT_GT(t.compare(epoch), 0);
}

// Records the record walk of the mutable visitor.
class WalkRecorder : public ASN1::Visitor {
 public:
  WalkRecorder(int pre, int root, int preExt, int ext) : pre_(pre), root_(root), preExt_(preExt), ext_(ext) {}
  std::string log;

 protected:
  bool do_visit(ASN1::Null&) override { return true; }
  bool do_visit(ASN1::BOOLEAN&) override { return true; }
  bool do_visit(ASN1::INTEGER&) override { return true; }
  bool do_visit(ASN1::ENUMERATED&) override { return true; }
  bool do_visit(ASN1::OBJECT_IDENTIFIER&) override { return true; }
  bool do_visit(ASN1::OCTET_STRING&) override { return true; }
  bool do_visit(ASN1::BIT_STRING&) override { return true; }
  bool do_visit(ASN1::AbstractString&) override { return true; }
  bool do_visit(ASN1::BMPString&) override { return true; }
  bool do_visit(ASN1::CHOICE&) override { return true; }
  bool do_visit(ASN1::SEQUENCE_OF_Base&) override { return true; }
  bool do_visit(ASN1::OpenData&) override { return true; }
  bool do_revisit(ASN1::OpenData&) override { return true; }
  bool do_visit(ASN1::TypeConstrainedOpenData&) override { return true; }
  bool do_visit(ASN1::GeneralizedTime&) override { return true; }
  int preVisitExtensionRoots(ASN1::SEQUENCE&) override { return pre_; }
  int visitExtensionRoot(ASN1::SEQUENCE&, int index, int id) override {
    log += "r" + std::to_string(index) + ":" + std::to_string(id) + " ";
    return root_;
  }
  int preVisitExtensions(ASN1::SEQUENCE&) override {
    log += "E ";
    return preExt_;
  }
  int visitKnownExtension(ASN1::SEQUENCE&, int index, int id) override {
    log += "x" + std::to_string(index) + ":" + std::to_string(id) + " ";
    return ext_;
  }
  int visitUnknownExtensions(ASN1::SEQUENCE&) override {
    log += "U";
    return 1;
  }

 private:
  int pre_, root_, preExt_, ext_;
};

TEST(Visitors, MutableRecordWalk) {
  Msg m;
  WalkRecorder rootsOnly(2, 3, 3, 3);
  EXPECT_TRUE(m.accept(rootsOnly));
  EXPECT_EQ("r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 ", rootsOnly.log);
  WalkRecorder all(3, 2, 3, 3);
  EXPECT_TRUE(m.accept(all));
  EXPECT_EQ("r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 E x7:4 x8:5 U", all.log);
  WalkRecorder stop(3, 1, 3, 3);
  EXPECT_TRUE(m.accept(stop));
  EXPECT_EQ("r0:0 ", stop.log);
  WalkRecorder fail(3, 3, 3, 0);
  EXPECT_FALSE(m.accept(fail));
  EXPECT_EQ("r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 E x7:4 ", fail.log);
  Item item;  // extensible without additions
  WalkRecorder none(3, 3, 3, 3);
  EXPECT_TRUE(item.accept(none));
  EXPECT_EQ("r0:-1 r1:0 r2:-1 E U", none.log);
}

// A const visitor that only overrides the generic operation sees every kind
// through it, and fails at the first record field.
class Generic : public ASN1::ConstVisitor {
 public:
  int seen = 0;

 protected:
  bool do_visit(const ASN1::AbstractData&) override {
    ++seen;
    return true;
  }
};

TEST(Visitors, ConstVisitorDefaults) {
  Generic g;
  EXPECT_TRUE(ASN1::INTEGER().accept(g));
  EXPECT_TRUE(Colour().accept(g));
  EXPECT_TRUE(ASN1::IA5String().accept(g));
  EXPECT_TRUE(Cmd().accept(g));
  EXPECT_TRUE(ItemList().accept(g));
  EXPECT_EQ(5, g.seen);
  Msg m;
  EXPECT_FALSE(m.accept(g));
  EXPECT_EQ(6, g.seen);
}

}  // namespace
