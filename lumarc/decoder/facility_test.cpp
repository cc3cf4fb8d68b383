// Facility components: header, invoke identifier, local operations and
// errors, CCBS operations by object identifier, call deflection, advice of
// charge, nested call-control elements and bounded reading.
#include "lumarc/decoder/framework.h"
#include "lumarc/decoder/test_support.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

using test::elementLines;
using test::octet;
using Lines = std::vector<std::string>;

// Facility element 0x1C around a component (protocol profile 0x91, then the
// component tag, its length and content).
std::vector<uint8_t> facility(uint8_t componentTag, std::vector<uint8_t> content) {
  std::vector<uint8_t> el = {0x1C, uint8_t(content.size() + 3), 0x91, componentTag, uint8_t(content.size())};
  el.insert(el.end(), content.begin(), content.end());
  return el;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::string kProfile = octet("10010001 Not Continued,Spare field ok,Supp service applications");

Lines invokeHead(const char* lenLine) {
  return {"        Len=" + std::string(lenLine), kProfile,
          octet("10100001 Class Context specific,Form Constructed,Invoke component")};
}

// The common lines of a component with a one-octet invoke id 5.
Lines idLines() {
  return {octet("00000010 Class Universal,Form Primitive,Invoke identifier"),
          octet("00000001 Length format ok,Length of identifier=01"), octet("00000101 Identifier value=05")};
}

Lines join(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// OID 0.4.0.359.module.value as content octets (tag and length included).
std::vector<uint8_t> ccbsOid(uint8_t module, uint8_t value) {
  return {0x06, 0x06, 0x04, 0x00, 0x82, 0x67, module, value};
}

Lines oidLines(const char* moduleLine) {
  return {octet("00000110 Class Universal,Form Primitive,Object identifier operation"),
          octet("00000110 Length format ok,Length of Object identifier=06"),
          // clang-format off
          octet("00000100 CCITT,Identified organization"), octet("00000000 ETSI"), octet("10000010 Continued"),
          octet("01100111 Recommendation=359"), octet(moduleLine)};
  // clang-format on
}

TEST(FacilityHeader, InvokeOfLocalOperationShowsEveryLine) {
  EXPECT_EQ(elementLines(facility(0xA1, {0x02, 0x01, 0x05, 0x02, 0x01, 0x07})),
            join({invokeHead("09   FacilityInvoke"),
                  {octet("00000110 Length format ok,Length of component=06")},
                  idLines(),
                  {octet("00000010 Class Universal,Form Primitive,Operation tag"),
                   octet("00000001 Length format ok,Length of operation value=01"),
                   octet("00000111 DIVERSION ACTIVATION")}}));
}

TEST(FacilityHeader, LocalOperationNamesIncludingMendedCode15) {
  // clang-format off
  struct Case { uint8_t op; const char* name; } cases[] = {
      {1, "USER USER INFORMATION"}, {15, "DIVERTING LEG INFORMATION 2"}, {19, "DIVERTING LEG INFORMATION 3"},
      {31, "AOCS in CURRECY"}, {2, "RESERVED"}, {99, "RESERVED"}};
  // clang-format on
  for (const auto& c : cases) {
    Lines lines = elementLines(facility(0xA1, {0x02, 0x01, 0x05, 0x02, 0x01, c.op}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(17), c.name);
  }
}

TEST(FacilityHeader, ComponentNotFillingTheElementStopsAfterItsLength) {
  std::vector<uint8_t> el = {0x1C, 0x0A, 0x91, 0xA1, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x07, 0x00};
  // clang-format off
  EXPECT_EQ(elementLines(el), join({invokeHead("0A   FacilityInvoke"),
                                    {octet("00000110 Length format ok,Length of component=06")}}));
  // clang-format on
}

TEST(FacilityHeader, TwoOctetInvokeIdentifierShowsStars) {
  Lines lines = elementLines(facility(0xA1, {0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x07}));
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[5], octet("00000010 Length format ok,Length of identifier=02"));
  EXPECT_EQ(lines[6], "        ******** Identifier value=1234");
  EXPECT_EQ(lines.back(), octet("00000111 DIVERSION ACTIVATION"));
}

TEST(FacilityHeader, ProfileClassFormAndShortElements) {
  EXPECT_EQ(elementLines({0x1C, 0x01, 0x91}), Lines{"        Len=01   Facility"});
  EXPECT_EQ(elementLines({0x1C, 0x02, 0x91, 0xA2}), Lines{"        Len=02   FacilityReturn result"});
  EXPECT_EQ(elementLines({0x1C, 0x06, 0x11, 0xA1, 0x03, 0x02, 0x01, 0x05}),
            (Lines{"        Len=06   FacilityInvoke", octet("00010001 Continued")}));
  EXPECT_EQ(elementLines({0x1C, 0x06, 0x91, 0x61, 0x03, 0x02, 0x01, 0x05}),
            (Lines{"        Len=06   FacilityInvoke", kProfile, octet("01100001 Class Application")}));
  // clang-format off
  EXPECT_EQ(elementLines({0x1C, 0x06, 0x91, 0x81, 0x03, 0x02, 0x01, 0x05}),
            (Lines{"        Len=06   FacilityInvoke", kProfile, octet("10000001 Class Context specific,Form Primitive")}));
  // clang-format on
  EXPECT_EQ(elementLines({0x1C, 0x06, 0x91, 0xA1, 0x83, 0x02, 0x01, 0x05}),
            (Lines{"        Len=06   FacilityInvoke", kProfile,
                   octet("10100001 Class Context specific,Form Constructed,Invoke component"),
                   octet("10000011 Length format ill")}));
  // Another protocol profile stops after the component length line.
  EXPECT_EQ(elementLines({0x1C, 0x06, 0x9F, 0xA1, 0x03, 0x02, 0x01, 0x05}),
            (Lines{"        Len=06   FacilityInvoke", octet("10011111 Not Continued,Spare field ok,Reserved"),
                   octet("10100001 Class Context specific,Form Constructed,Invoke component"),
                   octet("00000011 Length format ok,Length of component=03")}));
}

TEST(ReturnError, LocalErrorValueOrObjectIdentifier) {
  EXPECT_EQ(elementLines(facility(0xA3, {0x02, 0x01, 0x05, 0x02, 0x01, 0x30})),
            join({{"        Len=09   FacilityReturn error", kProfile,
                   octet("10100011 Class Context specific,Form Constructed,Return error component"),
                   octet("00000110 Length format ok,Length of component=06")},
                  idLines(),
                  {octet("00000010 Class Universal,Form Primitive,Error value tag"),
                   octet("00000001 Length format ok,Length of operation value=01"),
                   octet("00110000 Request already accepted")}}));
  // Longer error components must carry an object identifier.
  Lines lines = elementLines(facility(0xA3, {0x02, 0x01, 0x05, 0x02, 0x02, 0x00, 0x30}));
  EXPECT_EQ(lines.back(), octet("00000010 "));
  Lines ccbs = elementLines(facility(0xA3, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 24)})));
  EXPECT_EQ(Lines(ccbs.end() - 8, ccbs.end()),
            join({oidLines("00000001 Operations and errors"), {octet("00011000 CCBS is already activated")}}));
  Lines ccbsT = elementLines(facility(0xA3, cat({{0x02, 0x01, 0x05}, ccbsOid(2, 21)})));
  EXPECT_EQ(ccbsT.back(), octet("00010101 Short term denial"));
}

TEST(ObjectIdentifier, MismatchEndsAfterTheOctetsBitsLine) {
  Lines lines = elementLines(facility(0xA1, {0x02, 0x01, 0x05, 0x06, 0x07, 0x04, 0x01, 0x82, 0x67, 0x01, 0x02, 0x00}));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{octet("00000110 Class Universal,Form Primitive,Object identifier operation"),
                   octet("00000111 Length format ok,Length of Object identifier=07"),
                   octet("00000100 CCITT,Identified organization"), octet("00000001 ")}));
}

TEST(CcbsInvoke, RequestWithCallLinkageId) {
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 2), {0x02, 0x01, 0x2A}})));
  // clang-format off
  EXPECT_EQ(lines, join({invokeHead("11   FacilityInvoke"), {octet("00001110 Length format ok,Length of component=0E")},
                         idLines(), oidLines("00000001 Operations and errors"),
                         {octet("00000010 CCBS request"),
                          octet("00000010 Class Universal,Form Primitive,Call linkage id"),
                          octet("00000001 Length format ok,Length of Call linkage id=01"),
                          octet("00101010 Call linkage id value=2A")}}));
  // clang-format on
}

TEST(CcbsInvoke, StatusRequestWithNestedElementsIndentedFourMore) {
  std::vector<uint8_t> arg = {0x30, 0x0B, 0x0A, 0x01, 0x01, 0x02, 0x01, 0x07, 0x40, 0x03, 0x18, 0x01, 0x89};
  std::vector<uint8_t> el = facility(0xA1, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 8), arg}));
  el.push_back(0xA1);  // an element of the message after the facility
  Lines lines = elementLines(el);
  Lines tail = {octet("00001000 CCBS status request"),
                octet("00110000 Class Universal,Form Constructed,Argument sequence"),
                octet("00001011 Length format ok,Length of Argument sequence=0B"),
                octet("00001010 Class Universal,Form Primitive,Recall mode"),
                octet("00000001 Length format ok,Length of Recall mode=01"),
                octet("00000001 Specific Recall"),
                octet("00000010 Class Universal,Form Primitive,CCBS reference"),
                octet("00000001 Length format ok,Length of CCBS reference=01"),
                octet("00000111 CCBS reference value=07"),
                octet("01000000 Class Application,Form Primitive,Q931 Info Elements"),
                octet("00000011 Length format ok,Length of Q931 Info Elements=03"),
                "            Len=01   Channel Identification",
                "            10001001 Not Continued,Implicitely identified,Basic interface,Spare field ok,Exclusive,"
                "not D channel,B1",
                std::string(17, ' ') + "Sending Complete"};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);
}

TEST(CcbsInvoke, FacilityNestedInsideNestedElementsIsNotExpandedAgain) {
  // Inner facility: CCBS status request whose own Q931 Info Elements hold a
  // channel identification; it sits inside the outer one's info elements.
  std::vector<uint8_t> innerArg = {0x30, 0x0B, 0x0A, 0x01, 0x01, 0x02, 0x01, 0x07, 0x40, 0x03, 0x18, 0x01, 0x89};
  std::vector<uint8_t> inner = facility(0xA1, cat({{0x02, 0x01, 0x06}, ccbsOid(1, 8), innerArg}));
  std::vector<uint8_t> outerInner = cat({{0x0A, 0x01, 0x00, 0x02, 0x01, 0x07, 0x40, uint8_t(inner.size())}, inner});
  std::vector<uint8_t> outerArg = cat({{0x30, uint8_t(outerInner.size())}, outerInner});
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 8), outerArg})));
  ASSERT_GE(lines.size(), 3u);
  // The inner info elements show their tag and length lines, nothing more.
  EXPECT_EQ(lines[lines.size() - 2], "            01000000 Class Application,Form Primitive,Q931 Info Elements");
  EXPECT_EQ(lines.back(), "            00000011 Length format ok,Length of Q931 Info Elements=03");
  size_t nestedFacility = 0;
  for (const auto& l : lines) nestedFacility += l.rfind("            Len=", 0) == 0;
  EXPECT_EQ(nestedFacility, 1u);
}

TEST(CcbsInvoke, EraseWithAddressOfBAndPublicNumber) {
  std::vector<uint8_t> party = {0xA1, 0x08, 0x0A, 0x01, 0x02, 0x12, 0x03, '1', '2', '3'};
  std::vector<uint8_t> addr = cat({{0x30, uint8_t(party.size())}, party});
  std::vector<uint8_t> nested = {0x40, 0x00};
  std::vector<uint8_t> inner = cat({{0x0A, 0x01, 0x00, 0x02, 0x01, 0x09}, addr, nested});
  std::vector<uint8_t> arg = cat({{0x30, uint8_t(inner.size())}, inner});
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 5), arg})));
  Lines tail = {octet("00000000 Global Recall"),
                octet("00000010 Class Universal,Form Primitive,CCBS reference"),
                octet("00000001 Length format ok,Length of CCBS reference=01"),
                octet("00001001 CCBS reference value=09"),
                octet("00110000 Class Universal,Form Constructed,Address of B"),
                octet("00001010 Length format ok,Length of Address of B=0A"),
                octet("10100001 Class Context specific,Form Constructed,Public party number"),
                octet("00001000 Length format ok,Length of Public party number=08"),
                octet("00001010 Class Universal,Form Primitive,Type of number"),
                octet("00000001 Length format ok,Length of Type of number=01"),
                octet("00000010 Type of number value=02 as National number"),
                octet("00010010 Class Universal,Form Primitive,Number digits"),
                octet("00000011 Length format ok,Length of Number digits=03"),
                "        Digits   123",
                octet("01000000 Class Application,Form Primitive,Q931 Info Elements"),
                octet("00000000 Length format ok,Length of Q931 Info Elements=00")};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);
}

TEST(CcbsResult, StatusResultShowsLengthThenFreeOrBusy) {
  for (uint8_t v : {0, 1, 5}) {
    std::vector<uint8_t> seq = cat({ccbsOid(1, 8), {0x01, 0x01, v}});
    Lines lines = elementLines(facility(0xA2, cat({{0x02, 0x01, 0x05, 0x30, uint8_t(seq.size())}, seq})));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], octet("00001000 CCBS status request"));
    EXPECT_EQ(lines[lines.size() - 3], octet("00000001 Class Universal,Form Primitive,CCBS Status result"));
    EXPECT_EQ(lines[lines.size() - 2], octet("00000001 Length format ok,Length of CCBS Status result=01"));
    EXPECT_EQ(lines.back().substr(17), v ? "Free" : "Busy");
  }
}

TEST(CallDeflection, PublicNumberDigitsAndPresentation) {
  // clang-format off
  std::vector<uint8_t> arg = {0x30, 0x0F, 0x30, 0x0A, 0xA1, 0x08, 0x0A, 0x01, 0x00, 0x12, 0x03,
                              '1',  '2',  '3',  0x01, 0x01, 0xFF};
  // clang-format on
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x0D}, arg})));
  Lines tail = {octet("00001101 CALL DEFLECTION"),
                octet("00110000 Class Universal,Form Constructed,Argument Sequence"),
                octet("00001111 Length format ok,Length of component=0F"),
                octet("00110000 Class Universal,Form Constructed,Deflection address"),
                octet("00001010 Length format ok,Length of component=0A"),
                octet("10100001 Class Context specific,Form Constructed,Public party number"),
                octet("00001000 Length format ok,Length of component=08"),
                octet("00001010 Class Universal,Form Primitive,Type of Public party number"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("00000000 Type=Unknown"),
                octet("00010010 Class Universal,Form Primitive,Number digits"),
                octet("00000011 Length format ok,Length of component=03"),
                "        Digits   123",
                octet("00000001 Class Universal,Form Primitive,Presentation indicator"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("11111111 Presentation allowed")};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);
}

TEST(AdviceOfCharge, AocdChargingUnitsListAndTrailer) {
  // clang-format off
  std::vector<uint8_t> arg = {0x30, 0x0D, 0xA1, 0x05, 0x30, 0x03, 0x02, 0x01, 0x0A,
                              0x82, 0x01, 0x01, 0x83, 0x01, 0x00};
  // clang-format on
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x22}, arg})));
  Lines tail = {octet("00100010 AOCD in CHARGING UNITS"),
                octet("00110000 Class Universal,Form Constructed,Specific charging units"),
                octet("00001101 Length format ok,Length of component=0D"),
                octet("10100001  Class Context specific,Form Constructed,Recorded units list"),
                octet("00000101  Length format ok,Length of component=05"),
                octet("00110000  Class Universal,Form Constructed,Recorded units"),
                octet("00000011  Length format ok,Length of component=03"),
                octet("00000010   Class Universal,Form Primitive,Recorded number of units"),
                octet("00000001   Length format ok,Length of component=01"),
                octet("00001010   Content=0A"),
                octet("10000010 Class Context specific,Form Primitive,Type of charging info"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("00000001 Content=Total"),
                octet("10000011 Class Context specific,Form Primitive,aOCD billing id"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("00000000 Content=Normal charging")};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);
}

TEST(AdviceOfCharge, AocdTwoOctetUnitsAndTypeOfUnits) {
  std::vector<uint8_t> entry = {0x30, 0x07, 0x02, 0x02, 0x01, 0x00, 0x02, 0x01, 0x03};
  std::vector<uint8_t> list = cat({{0xA1, uint8_t(entry.size())}, entry});
  std::vector<uint8_t> arg = cat({{0x30, uint8_t(list.size())}, list});
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x22}, arg})));
  // clang-format off
  Lines tail = {octet("00000010   Length format ok,Length of component=02"),
                "        ********    Content=0100",
                octet("00000010   Class Universal,Form Primitive,Recorded type of units"),
                octet("00000001   Length format ok,Length of component=01"),
                octet("00000011   Content=03")};
  // clang-format on
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);
}

TEST(AdviceOfCharge, ValueOfWrongLengthShowsItsLengthLineAndStops) {
  // clang-format off
  std::vector<uint8_t> arg = {0x30, 0x0E, 0xA1, 0x05, 0x30, 0x03, 0x02, 0x01, 0x0A,
                              0x82, 0x02, 0x00, 0x01, 0x83, 0x01, 0x00};
  // clang-format on
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x22}, arg})));
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
            (Lines{octet("10000010 Class Context specific,Form Primitive,Type of charging info"),
                   octet("00000010 Length format ok,Length of component=02")}));
}

TEST(AdviceOfCharge, AoceSpecificChargingUnitsAndFreeOfCharge) {
  std::vector<uint8_t> arg = {0x30, 0x0C, 0x30, 0x0A, 0xA1, 0x05, 0x30, 0x03, 0x02, 0x01, 0x04, 0x82, 0x01, 0x06};
  Lines lines = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x24}, arg})));
  Lines tail = {octet("00100100 AOCE in CHARGING UNITS"),
                octet("00110000 Class Universal,Form Constructed,Charging unit info"),
                octet("00001100 Length format ok,Length of component=0C"),
                octet("00110000 Class Universal,Form Constructed,Specific charging units"),
                octet("00001010 Length format ok,Length of component=0A"),
                octet("10100001 Class Context specific,Form Constructed,Recorded units list"),
                octet("00000101 Length format ok,Length of component=05"),
                octet("00110000 Class Universal,Form Constructed,Recorded units"),
                octet("00000011 Length format ok,Length of component=03"),
                octet("00000010 Class Universal,Form Primitive,Recorded number of units"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("00000100 Content:04"),
                octet("10000010 Class Context specific,Form Primitive,Billing Id"),
                octet("00000001 Length format ok,Length of component=01"),
                octet("00000110 Content:Call deflection")};
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - long(tail.size()), lines.end()), tail);

  std::vector<uint8_t> free = {0x30, 0x02, 0x81, 0x00};
  Lines f = elementLines(facility(0xA1, cat({{0x02, 0x01, 0x05, 0x02, 0x01, 0x24}, free})));
  // clang-format off
  EXPECT_EQ(Lines(f.end() - 2, f.end()),
            (Lines{octet("10000001 Class Context specific,Form Primitive,Free of charge"),
                   octet("00000000 Length format ok,Length of component=00")}));
  // clang-format on
}

TEST(BoundedComponent, InnerLengthPastTheElementStopsAtItsLengthLine) {
  // The call deflection argument claims 0x40 octets; the element has 3 left.
  Lines lines = elementLines(facility(0xA1, {0x02, 0x01, 0x05, 0x02, 0x01, 0x0D, 0x30, 0x40, 0x30}));
  EXPECT_EQ(lines.back(), octet("01000000 Length format ok,Length of component=40"));
  // Digits claiming more octets than the element holds.
  // clang-format off
  Lines digits = elementLines(facility(0xA1, {0x02, 0x01, 0x05, 0x02, 0x01, 0x0D, 0x30, 0x05, 0x30, 0x03, 0x80,
                                              0x09, '1'}));
  // clang-format on
  EXPECT_EQ(digits.back(), octet("00001001 Length format ok,Length of component=09"));
  // The invoke id length pointing beyond the component.
  Lines id = elementLines(facility(0xA1, {0x02, 0x05, 0x01}));
  EXPECT_EQ(id.back(), octet("00000101 Length format ok,Length of identifier=05"));
  // Nested elements end at their container, not at the message end.
  std::vector<uint8_t> arg = {0x30, 0x0B, 0x0A, 0x01, 0x01, 0x02, 0x01, 0x07, 0x40, 0x03, 0x70, 0x05, 0x81};
  std::vector<uint8_t> el = facility(0xA1, cat({{0x02, 0x01, 0x05}, ccbsOid(1, 8), arg}));
  el.insert(el.end(), {0x70, 0x01, 0x81});
  Lines nested = elementLines(el);
  ASSERT_GE(nested.size(), 4u);
  EXPECT_EQ(nested[nested.size() - 4], octet("00000011 Length format ok,Length of Q931 Info Elements=03"));
  EXPECT_EQ(nested[nested.size() - 3], "            Len=05   ");
  EXPECT_EQ(nested[nested.size() - 2], "        Len=01   Called Party Number");
}

}  // namespace
}  // namespace lumarc
