// Value notation both ways, and the constraint checks. text_test.golden lists
// cases of every kind, read from value notation (once, or twice into the same
// value), with whether the reader refused them, the text written, the lenient
// and strict answers and the tracer's text; it is compared whole with what this run writes
// (GW_UPDATE_GOLDEN=1 rewrites it: review the diff). The writer's own text for
// every message type reads back in tests/messages/types_test.cpp.
#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <type_traits>

#include "tests/asn1/rule_helpers.h"

namespace {

using namespace ruletest;

ASN1::AbstractData* built(const std::string& name) {
  if (name == "IA5String holding a\"b: nothing escaped") return new ASN1::IA5String("a\"b");
  if (name == "BMPString beyond ASCII") return new ASN1::BMPString(L"\x0416" L"A", &ASN1::BMPString::theInfo);
  if (name == "BMPString holding U+10000") return new ASN1::BMPString(L"a\U00010000", &ASN1::BMPString::theInfo);
  if (name == "Colour holding 5") return new Colour(Colour::NamedNumber(5));
  if (name == "Shade holding 5") return new Shade(Shade::NamedNumber(5));
  if (name == "Sparse holding 2: a number without a name") return new Sparse(Sparse::NamedNumber(2));
  if (name == "Colour holding -1") return new Colour(Colour::NamedNumber(-1));
  if (name == "Shade holding -1") return new Shade(Shade::NamedNumber(-1));
  ASN1::OpenData* open = new ASN1::OpenData;
  if (name == "open type with octets only") open->grab(new std::vector<char>(2, 'x'));
  if (name == "open type holding 0A") open->grab(new std::vector<char>(1, '\n'));
  return open;
}

TEST(Text, WrittenTextsAndChecksMatchTheGoldenTranscript) {
  const std::string path = TestGolden::Beside(__FILE__, "text_test.golden");
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::stringstream expected, actual;
  expected << in.rdbuf();
  for (std::string line; std::getline(expected, line);) {
    if (line.compare(0, 2, "  ") == 0) continue;  // results: written afresh below
    actual << line << '\n';
    const std::size_t bar = line.find(" | ");
    if (line.empty() || line[0] == '#' || bar == std::string::npos) continue;
    // "type, read twice": the text is read into the value a second time.
    const std::string twice = ", read twice";
    std::string type = line.substr(0, bar);
    const std::string text = line.substr(bar + 3);
    const bool again = type.size() > twice.size() && type.compare(type.size() - twice.size(), twice.size(), twice) == 0;
    if (again) type.resize(type.size() - twice.size());
    Value value(type == "built" ? built(text) : makeType(type));
    ASSERT_TRUE(value) << line;
    if (type != "built" && !(value->setFromValueNotation(text) && (!again || value->setFromValueNotation(text))))
      actual << "  read refused\n";
    std::ostringstream written;
    written << *value;
    EXPECT_EQ(written.str(), value->asValueNotation()) << line;
    std::istringstream lines(written.str());
    for (std::string l; std::getline(lines, l);) actual << "  = " << l << '\n';
    actual << "  valid " << value->isValid() << ", strictly valid " << value->isStrictlyValid() << '\n';
    ASN1::trace_invalid(actual, "  trace:", *value);
  }
  TestGolden::Expect(path, actual.str());
}

TEST(Text, StreamsAndCoderEnvironmentAroundAReadOrAWrite) {
  ItemList list;  // an empty list text empties a list
  list.push_back(Item());
  EXPECT_TRUE(list.setFromValueNotation("{ }") && list.empty());
  // The writer works on the caller's stream: indentation takes its fill
  // character, a pending field width pads the value's first item, octets
  // leave the number format alone and the fill a blank.
  std::ostringstream os, plain, failed, direct, e, bad;
  os.fill('*');
  os << Item() << std::setw(3) << Empty() << std::setw(4) << Fixed<0, 7u>(3) << ' '
     << ASN1::OCTET_STRING(TestBytes::FromHex("05FF"), &ASN1::OCTET_STRING::theInfo) << ' ' << 255 << ' ' << Item();
  EXPECT_EQ("{\n**id 0,\n**shade dark\n}*{\n}***3 '05 ff'H 255 {\n  id 0,\n  shade dark\n}", os.str());
  EXPECT_EQ(' ', os.fill());
  // A text kind written as itself writes no quotes.
  plain << static_cast<const ASN1::AbstractString&>(ASN1::IA5String("10.0.0.1"));
  EXPECT_EQ("10.0.0.1", plain.str());
  // A value that cannot be written (nothing selected) leaves its text up to
  // that point and failbit: nothing more goes to that stream.
  Msg m;
  failed << m << " next line";
  EXPECT_EQ("{\n  pdu ", failed.str());
  EXPECT_EQ(std::ios_base::failbit, failed.rdstate());
  EXPECT_EQ(std::ios_base::failbit, m.print_on(direct));
  EXPECT_EQ(std::ios_base::failbit, ASN1::OpenData().print_on(e));
  // A stream that already failed gets nothing and keeps its state.
  bad.setstate(std::ios_base::failbit);
  bad << Colour();
  EXPECT_EQ("", bad.str());
  EXPECT_EQ(std::ios_base::failbit, bad.rdstate());

  std::istringstream good("  TRUE rest"), maybe("maybe");
  ASN1::BOOLEAN b;
  std::string rest;
  EXPECT_TRUE(bool(good >> b) && bool(b) && (good >> rest) && rest == "rest");
  EXPECT_FALSE(bool(maybe >> b));
  EXPECT_EQ(std::ios_base::failbit, b.get_from(maybe));
  Colour colour;
  const std::vector<char> blue = {'b', 'l', 'u', 'e'};
  EXPECT_TRUE(decode(blue, colour, ASN1::CoderEnv::avn) && colour.is_blue());
  EXPECT_FALSE(decode(blue, m, ASN1::CoderEnv::avn));
  // The environment's text is one value: white space may follow it, nothing
  // else; a stream extraction leaves what follows for the next one.
  const std::string spaced = " green \n", more = "green blue";
  EXPECT_TRUE(decode(std::vector<char>(spaced.begin(), spaced.end()), colour, ASN1::CoderEnv::avn) && colour.is_green());
  EXPECT_FALSE(decode(std::vector<char>(more.begin(), more.end()), colour, ASN1::CoderEnv::avn));
  std::istringstream two(more);
  EXPECT_TRUE(ASN1::g_extractor(two, colour) && colour.is_green() && (two >> colour) && colour.is_blue());
}

// An exception inside a stream operation becomes the stream's state, and
// reaches the caller only when the exception mask holds that state.
TEST(Text, ExceptionsInAStreamOperationFollowTheExceptionMask) {
  struct Throwing : ASN1::IOWrapper<char> {
    bool memory;
    explicit Throwing(bool m) : memory(m) {}
    std::ios_base::iostate do_real_io() override {
      if (memory) throw std::bad_alloc();
      throw std::runtime_error("write");
    }
  };
  for (bool memory : {true, false}) {
    const std::ios_base::iostate state = memory ? std::ios_base::badbit : std::ios_base::failbit;
    std::ostringstream quiet, loud;
    Throwing op(memory);
    op.do_it(quiet);
    EXPECT_EQ(state, quiet.rdstate() & state) << memory;
    loud.exceptions(state);
    EXPECT_ANY_THROW(op.do_it(loud)) << memory;
    EXPECT_EQ(state, loud.rdstate() & state) << memory;
  }
  std::ostringstream os;
  const Colour blue(Colour::blue);
  ASN1::InserterWrapper<char, std::char_traits<char>, ASN1::AbstractData> write(os, blue);
  write.do_it(os);
  EXPECT_EQ("blue", os.str());
  // The extractor's frame is the same template family: blanks skipped, a
  // value that cannot be read is failbit, and so is only blank input left.
  typedef ASN1::ExtractorWrapper<char, std::char_traits<char>, ASN1::AbstractData> Extractor;
  static_assert(std::is_base_of<ASN1::IOWrapper<char>, Extractor>::value, "an IOWrapper");
  std::istringstream is(" \n green purple  ");
  Colour colour;
  Extractor read(is, colour);
  read.do_it(is);
  EXPECT_TRUE(is.good() && colour.is_green());
  read.do_it(is);
  EXPECT_EQ(std::ios_base::failbit, is.rdstate());
  is.clear();
  is >> std::ws;
  read.do_it(is);
  EXPECT_TRUE(is.fail() && is.eof()) << is.rdstate();
}

TEST(Text, PrimitiveKindsAreThoseBerWritesPrimitive) {
  auto primitive = [](const ASN1::AbstractData& value) {
    ASN1::PrimitiveChecker checker;
    return value.accept(checker);
  };
  Single single;
  single.select_only(1);
  Cmd cmd;
  cmd.select_ints();
  EXPECT_TRUE(primitive(Fixed<0, 7u>(3)) && primitive(single));
  EXPECT_FALSE(primitive(Item()) || primitive(cmd) || primitive(ItemList()));
}

}  // namespace
