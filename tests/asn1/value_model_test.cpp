// The value model: presence, selection, bit maps, the free lists, swaps and
// assignment, times, and the visitor walks, on the generated PerTest classes.
// (The kinds' encodings are in the PER and BER vectors, their texts in
// text_test.golden; here what those do not reach.)
#include <gtest/gtest.h>

#include "tests/asn1/rule_helpers.h"

namespace {

using namespace ruletest;

TEST(ValueModel, OptionalFieldsAndExtensionAdditions) {
  Msg m;
  EXPECT_TRUE(m.getField(2) != nullptr && m.getField(0) == nullptr && !m.hasOptionalField(0) && !m.hasOptionalField(1));
  // Include creates the default value; remove keeps it for a later include.
  ASN1::AbstractData* seq = m.includeOptionalField(0, 0);
  ASSERT_NE(nullptr, seq);
  EXPECT_EQ(0u, m.get_seq().getValue());
  m.set_seq(42);
  m.omit_seq();
  EXPECT_TRUE(!m.seq_isPresent() && seq == m.getField(0));
  m.includeOptionalField(0, 0);
  EXPECT_EQ(42u, m.get_seq().getValue());
  // Extension addition 0 (presence number numOptional + 0 = 4) grows the map.
  EXPECT_EQ(0u, m.extensionMap().size());
  m.includeOptionalField(4, 7);
  EXPECT_TRUE(m.extensionMap().size() == 1u && m.hasOptionalField(4) && !m.hasOptionalField(5));
  EXPECT_TRUE(m.getField(7) != nullptr && m.getField(8) == nullptr);
  // Beyond both maps.
  EXPECT_FALSE(m.hasOptionalField(40));
  m.removeOptionalField(40);
  EXPECT_EQ(1u, m.extensionMap().size());
}

std::string bits(const ASN1::SEQUENCE::BitMap& map) {
  std::string s;
  for (unsigned i = 0; i < map.size(); ++i) s += map[i] ? '1' : '0';
  return s;
}

// Maps longer than 64 bits move out of the object; copies, swaps and
// resizes keep every bit across that boundary, and bits cut off do not come back.
TEST(ValueModel, BitMaps) {
  ASN1::SEQUENCE::BitMap map, small, big;
  map.resize(10);
  map.set(9);
  map.set(10);  // beyond the size: nothing
  EXPECT_TRUE(map.byteCount() == 2u && map.data()[1] == char(0x40) && map[9] && !map[10]);
  map.clear(9);
  EXPECT_FALSE(map.any());
  map.set(9);
  map.resize(9);
  map.resize(10);
  map.set(0);
  EXPECT_EQ("1000000000", bits(map));  // a bit cut off does not come back
  map.resize(0);
  map.resize(16);
  EXPECT_FALSE(map.any());  // nor a whole byte cut off
  small.resize(5);
  small.set(4);
  big.resize(60);
  big.set(59);
  big.resize(128);  // grows out of the object, bit 59 kept
  big.set(127);
  EXPECT_EQ(16u, big.byteCount());
  const std::string expected = std::string(59, '0') + "1" + std::string(67, '0') + "1";
  EXPECT_EQ(expected, bits(big));
  ASN1::SEQUENCE::BitMap copy(big);
  big.clear(59);
  EXPECT_EQ(expected, bits(copy));
  copy.swap(small);
  EXPECT_EQ("00001", bits(copy));
  EXPECT_EQ(expected, bits(small));
  copy = small;
  EXPECT_EQ(expected, bits(copy));
  small.resize(65);
  small.resize(128);
  EXPECT_EQ(expected.substr(0, 65) + std::string(63, '0'), bits(small));
  small = ASN1::SEQUENCE::BitMap();
  EXPECT_EQ(0u, small.size());
}

// Freed values wait on their size class's free list and are handed out
// again; the lists keep a bounded number of bytes and never take blocks
// above the largest class.
TEST(ValuePool, FreedValuesAreReusedWithinBounds) {
  if (!ASN1::detail::kPoolEnabled) GTEST_SKIP() << "not pooled under the address sanitizer";
  using namespace ASN1::detail;
  Item* first = new Item;
  first->set_id(7);
  const std::size_t taken = poolCachedBlocks(sizeof(Item));
  delete first;
  EXPECT_LT(taken, poolCachedBlocks(sizeof(Item)));
  Item* again = new Item;
  EXPECT_EQ(static_cast<void*>(first), static_cast<void*>(again));
  EXPECT_EQ(0u, again->get_id().getValue());  // a fresh default value
  delete again;
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < 2 * kPoolCacheBytes / 8; ++i) blocks.push_back(poolAllocate(8));
  for (void* b : blocks) poolDeallocate(b, 8);
  EXPECT_EQ(kPoolCacheBytes / 8, poolCachedBlocks(8));
  poolDeallocate(poolAllocate(kPoolMaxSize + 1), kPoolMaxSize + 1);
  EXPECT_EQ(0u, poolCachedBlocks(kPoolMaxSize + 1));
}

// A descriptor's initial extension map is (n + 7) / 8 bytes long; reading n
// bytes would run past a short table.
TEST(ValueModel, InitialExtensionsCopyTheMapBytesOnly) {
  static const ASN1::TypeInfo* const infos[10] = {
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo,
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo,
      &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo};
  static const int ids[] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  static const char* const names[] = {"r", "e0", "e1", "e2", "e3", "e4", "e5", "e6", "e7", "e8"};
  static const char initial[] = {char(0x80), char(0x80)};
  static const ASN1::SEQUENCE::InfoType info = {
      {&ASN1::SEQUENCE::create, 16}, true, infos, ids, 1, 9, 0, initial, nullptr, names};
  ASN1::SEQUENCE s(&info);
  EXPECT_EQ("100000001", bits(s.extensionMap()));
  EXPECT_TRUE(s.hasOptionalField(0) && s.hasOptionalField(8) && !s.hasOptionalField(1));
  EXPECT_TRUE(s.getField(1) != nullptr && s.getField(9) != nullptr && s.getField(2) == nullptr);
}

// Records of a few fields hold their field pointers in the object, larger
// ones in a separate array: assignment and swap move values either way.
TEST(ValueModel, SmallAndLargeRecordsSwapAndAssign) {
  Item small1, small2;
  small1.set_id(1);
  small1.set_label("one");
  small2.set_id(2);
  const ASN1::AbstractData* label = small1.getField(1);
  small1.swap(small2);
  EXPECT_TRUE(small1.get_id().getValue() == 2u && !small1.label_isPresent() && small2.get_id().getValue() == 1u);
  EXPECT_EQ(label, small2.getField(1));  // the value object moved, not a copy
  small1 = small2;
  small2.set_label("two");
  EXPECT_EQ("one", small1.get_label());
  Ints big1, big2;
  big1.set_u(-5);
  big1.set_k64(65535);
  big2.set_u(9);
  const ASN1::AbstractData* u = big1.getField(0);
  big1.swap(big2);
  EXPECT_TRUE(big1.get_u().getValue() == 9 && big1.get_k64().getValue() == 0u && big2.get_u().getValue() == -5);
  EXPECT_EQ(u, big2.getField(0));
  big1 = big2;
  big2.set_k64(1);
  EXPECT_TRUE(big1.get_k64().getValue() == 65535u && big1.compare(Ints(big1)) == 0);
  // The field vector itself: copies clone the values, swaps move them, and
  // the slot includeOptionalField gives is the record's own.
  ASN1::SEQUENCE::FieldVector two(2), nine(9);
  two[1] = new ASN1::INTEGER(5, &ASN1::INTEGER::theInfo);
  const ASN1::SEQUENCE::FieldVector copy(two);
  EXPECT_TRUE(copy[0] == nullptr && copy[1] != two[1] && copy[1]->compare(*two[1]) == 0);
  ASN1::AbstractData* five = two[1];
  two.swap(nine);
  EXPECT_TRUE(two.size() == 9u && nine.size() == 2u && nine[1] == five && nine.end() - nine.begin() == 2);
  Msg m;
  ASN1::AbstractData*& slot = m.includeOptionalField(1, 1);
  EXPECT_TRUE(slot != nullptr && &slot == &m.includeOptionalField(1, 1) && slot == m.getField(1));
}

TEST(ValueModel, ChoiceSelection) {
  Cmd unselected, c;
  EXPECT_TRUE(Cmd(unselected).currentSelection() == -1 && Cmd(unselected).compare(unselected) == 0);
  c.select_connect(9);
  ASN1::AbstractData* before = c.getSelection();
  EXPECT_TRUE(c.select(2));  // already selected: the value stays
  EXPECT_TRUE(before == c.getSelection() && c.get_connect().getValue() == 9u);
  c.select_connect();  // a selector makes a fresh default value
  EXPECT_EQ(0u, c.get_connect().getValue());
  EXPECT_FALSE(c.select(6));  // totalChoices
  EXPECT_TRUE(c.currentSelection() == -2 && c.isUnknownSelection() && c.getSelection() == nullptr);
  // Without a tag table, setID selects by context tag number.
  EXPECT_TRUE(c.setID(3, 2) && c.ints_isSelected());
  EXPECT_EQ(ASN1::contextTag(3), c.getSelectionTag());
  EXPECT_STREQ("ints", c.getSelectionName());
  EXPECT_TRUE(Cmd(Cmd::ints::id, Ints()).ints_isSelected());
  // A tag table covers the root alternatives only: an extension alternative
  // gives its own type's tag, whatever lies past the table (here a longer
  // array, whose next entry is no tag of this type).
  static const unsigned tagsAndMore[] = {ASN1::contextTag(5), ASN1::contextTag(9)};
  static const ASN1::CHOICE::InfoType longTable = {{&ASN1::CHOICE::create, 0}, true, kTaggedChoiceInfos, 1, 2,
                                                   tagsAndMore, kTaggedChoiceNames};
  ASN1::CHOICE tagged(&longTable);
  EXPECT_TRUE(tagged.select(1));
  EXPECT_EQ(ASN1::BOOLEAN::theInfo.tag, tagged.getSelectionTag());
  EXPECT_TRUE(tagged.select(0) && tagged.getSelectionTag() == ASN1::contextTag(5));
  EXPECT_FALSE(tagged.setID(9, 0x80));
  EXPECT_TRUE(tagged.setID(1, 0) && tagged.currentSelection() == 1);
  typedef Fixed<0, 1023u> Slot;
  const Cmd connect(Cmd::connect::id, Slot(7));  // the alternative's own class
  EXPECT_TRUE(connect.connect_isSelected() && connect.get_connect().getValue() == 7u &&
              connect.get_connect().info() == &Slot::theInfo);
}

// Each kind answers its own checks, for itself and what it holds.
TEST(ValueModel, KindsAnswerTheirOwnConstraintChecks) {
  Int07ext nine;
  nine = 9u;
  Colour five(Colour::NamedNumber(5));
  Shade shadeFive(Shade::NamedNumber(5));
  ASN1::OCTET_STRING five_octets(5, 'x', &kOctets24[1]);
  ASN1::BIT_STRING three(&kBits8);
  three.resize(3);
  ASN1::GeneralizedTime month13(2023, 13, 1, 0, 0, 0, 0, 0, true);
  ASN1::OBJECT_IDENTIFIER none;
  ASN1::IA5String text("ok");
  ASN1::BMPString wide(L"A", &ASN1::BMPString::theInfo);
  Cmd unselected, later;
  later.select_later(true);
  ASN1::SEQUENCE_OF<Int03> list;
  list.push_back(Int03(5));
  ASN1::OpenData octetsOnly;
  octetsOnly.grab(new std::vector<char>(1, 'x'));
  EXPECT_TRUE(nine.isValid() && !Int03(9).isValid());
  EXPECT_TRUE(shadeFive.isValid() && !shadeFive.isStrictlyValid() && !five.isValid());
  EXPECT_TRUE(five_octets.isValid() && !five_octets.isStrictlyValid() && !three.isValid());
  EXPECT_TRUE(!month13.isValid() && !none.isStrictlyValid() && text.isStrictlyValid() && wide.isStrictlyValid());
  EXPECT_TRUE(!unselected.isValid() && later.isValid() && !later.isStrictlyValid() && !list.isValid());
  EXPECT_TRUE(octetsOnly.isStrictlyValid() && !ASN1::OpenData().isValid());
}

TEST(ValueModel, AnObjectIdentifierCutShortAndATimeTooShortAreRefused) {
  ASN1::OBJECT_IDENTIFIER back;
  const std::vector<char> cut = TestBytes::FromHex("8180");
  EXPECT_FALSE(back.decodeCommon(cut.data(), 2));
  ASN1::GeneralizedTime t(2024, 3, 5, 12, 30, 45, 7, 0, true), u("20240305123045+0130"),
      w("20240305123045.5-0030"), epoch;
  EXPECT_TRUE(u.getMinDiff() == 90 && u.get() == "20240305123045+0130");
  EXPECT_TRUE(w.getMillisec() == 500 && w.getMinDiff() == -30);
  EXPECT_EQ("00010101000000", epoch.get());
  // A text too short for the fixed positions is refused, the value unchanged.
  EXPECT_FALSE(t.set("2024") || t.set("") || t.set("2024030512304"));
  EXPECT_EQ("20240305123045.007Z", t.get());
  epoch.set_time_t(86400 + 3661);
  EXPECT_EQ("19700102010101", epoch.get());
  EXPECT_GT(t.compare(epoch), 0);
}

// Records the record walk of the mutable visitor. A decoder over no octets
// stands in for the field visits, which the walk hooks below never make.
class WalkRecorder : public ASN1::PERDecoder {
 public:
  WalkRecorder(int pre, int root, int preExt, int ext)
      : ASN1::PERDecoder(nullptr, nullptr, nullptr, true), answers_{pre, root, preExt, ext} {}
  std::string log;

 protected:
  int preVisitExtensionRoots(ASN1::SEQUENCE&) override { return answers_[0]; }
  int visitExtensionRoot(ASN1::SEQUENCE&, int index, int id) override { return note("r", index, id, answers_[1]); }
  int preVisitExtensions(ASN1::SEQUENCE&) override { return note("E", -1, 0, answers_[2]); }
  int visitKnownExtension(ASN1::SEQUENCE&, int index, int id) override { return note("x", index, id, answers_[3]); }
  int visitUnknownExtensions(ASN1::SEQUENCE&) override { return note("U", -1, 0, 1); }

 private:
  int note(const char* what, int index, int id, int answer) {
    log += what + (index < 0 ? std::string() : std::to_string(index) + ":" + std::to_string(id)) + " ";
    return answer;
  }
  int answers_[4];
};

TEST(Visitors, MutableRecordWalk) {
  const struct {
    int pre, root, preExt, ext;
    bool ok;
    const char* log;
  } cases[] = {{2, 3, 3, 3, true, "r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 "},
               {3, 2, 3, 3, true, "r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 E x7:4 x8:5 U "},
               {3, 1, 3, 3, true, "r0:0 "},
               {3, 3, 3, 0, false, "r0:0 r1:1 r2:-1 r3:-1 r4:-1 r5:2 r6:3 E x7:4 "}};
  for (const auto& c : cases) {
    Msg m;
    WalkRecorder walk(c.pre, c.root, c.preExt, c.ext);
    EXPECT_EQ(c.ok, m.accept(walk));
    EXPECT_EQ(c.log, walk.log);
  }
  Item item;  // extensible without additions
  WalkRecorder none(3, 3, 3, 3);
  EXPECT_TRUE(item.accept(none));
  EXPECT_EQ("r0:-1 r1:0 r2:-1 E U ", none.log);
}

// A const visitor that only overrides the generic operation sees every kind
// through it, and fails at the first record field.
TEST(Visitors, ConstVisitorDefaults) {
  struct Generic : ASN1::ConstVisitor {
    int seen = 0;
    bool do_visit(const ASN1::AbstractData&) override { return ++seen > 0; }
  } g;
  EXPECT_TRUE(ASN1::INTEGER().accept(g) && Colour().accept(g) && ASN1::IA5String().accept(g) && Cmd().accept(g) &&
              ItemList().accept(g));
  EXPECT_EQ(5, g.seen);
  EXPECT_FALSE(Msg().accept(g));
  EXPECT_EQ(6, g.seen);
}

}  // namespace
