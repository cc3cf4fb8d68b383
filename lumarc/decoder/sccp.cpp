// SCCP messages (Q.713): message types, fixed parameters, pointers (two
// octets for the long unitdata messages), variable parameters, the optional
// part, and the called and calling party addresses.
#include "lumarc/decoder/ss7.h"

#include "lumarc/decoder/fields.h"

#include "common/format.h"

#include <array>
#include <utility>

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;
using corvane::hex8;

enum : uint8_t {
  kEnd = 0,
  kDestinationRef = 1,
  kSourceRef = 2,
  kCalled = 3,
  kCalling = 4,
  kProtocolClass = 5,
  kSegmenting = 6,
  kReceiveSequence = 7,
  kSequencing = 8,
  kCredit = 9,
  kReleaseCause = 10,
  kReturnCause = 11,
  kResetCause = 12,
  kErrorCause = 13,
  kRefusalCause = 14,
  kData = 15,
  kSegmentation = 16,
  kHopCounter = 17,
  kImportance = 18,
  kLongData = 19,
  kOptionalPart = 0xFF,  // marks the optional-part pointer in a layout
};

constexpr auto kParameterNames = numbered(
    "End of optional parameters", "Destination local reference", "Source local reference", "Called party address",
    "Calling party address", "Protocol class", "Segmenting/reassembling", "Receive sequence number",
    "Sequencing/segmenting", "Credit", "Release cause", "Return cause", "Reset cause", "Error cause", "Refusal cause",
    "Data", "Segmentation", "Hop counter", "Importance", "Long data");

std::string_view parameterName(uint8_t code) { return lookup(kParameterNames, code, "Unknown SCCP parameter"); }

struct SccpMessage {
  const char* name;
  std::array<uint8_t, 6> fixed;     // fixed parameters in order (0 ends)
  std::array<uint8_t, 4> pointers;  // parameters behind pointers (0 ends)
  bool longPointers;                // two-octet pointers (LUDT, LUDTS)
};

// Indexed by message type - 1.
constexpr SccpMessage kMessages[] = {
    {"CR    SCCP Connection request", {kSourceRef, kProtocolClass}, {kCalled, kOptionalPart}, false},
    {"CC    SCCP Connection confirm", {kDestinationRef, kSourceRef, kProtocolClass}, {kOptionalPart}, false},
    {"CREF  SCCP Connection refused", {kDestinationRef, kRefusalCause}, {kOptionalPart}, false},
    {"RLSD  SCCP Released", {kDestinationRef, kSourceRef, kReleaseCause}, {kOptionalPart}, false},
    {"RLC   SCCP Release complete", {kDestinationRef, kSourceRef}, {}, false},
    {"DT1   SCCP Data form 1", {kDestinationRef, kSegmenting}, {kData}, false},
    {"DT2   SCCP Data form 2", {kDestinationRef, kSequencing}, {kData}, false},
    {"AK    SCCP Data acknowledgement", {kDestinationRef, kReceiveSequence, kCredit}, {}, false},
    {"UDT   SCCP Unitdata", {kProtocolClass}, {kCalled, kCalling, kData}, false},
    {"UDTS  SCCP Unitdata service", {kReturnCause}, {kCalled, kCalling, kData}, false},
    {"ED    SCCP Expedited data", {kDestinationRef}, {kData}, false},
    {"EA    SCCP Expedited data acknowledgement", {kDestinationRef}, {}, false},
    {"RSR   SCCP Reset request", {kDestinationRef, kSourceRef, kResetCause}, {}, false},
    {"RSC   SCCP Reset confirmation", {kDestinationRef, kSourceRef}, {}, false},
    {"ERR   SCCP Protocol data unit error", {kDestinationRef, kErrorCause}, {}, false},
    {"IT    SCCP Inactivity test", {kDestinationRef, kSourceRef, kProtocolClass, kSequencing, kCredit}, {}, false},
    {"XUDT  SCCP Extended unitdata", {kProtocolClass, kHopCounter}, {kCalled, kCalling, kData, kOptionalPart}, false},
    {"XUDTS SCCP Extended unitdata service",
     {kReturnCause, kHopCounter},
     {kCalled, kCalling, kData, kOptionalPart},
     false},
    {"LUDT  SCCP Long unitdata", {kProtocolClass, kHopCounter}, {kCalled, kCalling, kLongData, kOptionalPart}, true},
    {"LUDTS SCCP Long unitdata service",
     {kReturnCause, kHopCounter},
     {kCalled, kCalling, kLongData, kOptionalPart},
     true},
};

// Size of a parameter as a mandatory fixed parameter.
size_t fixedSize(uint8_t code) {
  switch (code) {
    case kDestinationRef:
    case kSourceRef: return 3;
    case kSequencing: return 2;
    default: return 1;
  }
}

constexpr auto kReleaseCauses = numbered(
    "End user originated", "End user congestion", "End user failure", "SCCP user originated", "Remote procedure error",
    "Inconsistent connection data", "Access failure", "Access congestion", "Subsystem failure", "Subsystem congestion",
    "MTP failure", "Network congestion", "Expiration of reset timer", "Expiration of receive inactivity timer",
    "Reserved", "Unqualified", "SCCP failure");
constexpr auto kReturnCauses = numbered(
    "No translation for an address of such nature", "No translation for this specific address", "Subsystem congestion",
    "Subsystem failure", "Unequipped user", "MTP failure", "Network congestion", "Unqualified",
    "Error in message transport", "Error in local processing", "Destination cannot perform reassembly", "SCCP failure",
    "Hop counter violation", "Segmentation not supported", "segmentation failure");
constexpr auto kResetCauses =
    numbered("End user originated", "SCCP user originated", "Message out of order - incorrect P(S)",
             "Message out of order - incorrect P(R)", "Remote procedure error - message out of window",
             "Remote procedure error - incorrect P(S) after (re)initialization", "Remote procedure error - general",
             "Remote end user operational", "Network operational", "Access operational", "Network congestion",
             "Reserved", "Unqualified");
constexpr auto kErrorCauses = numbered("Local reference number (LRN) mismatch - unassigned destination LRN",
                                       "Local reference number (LRN) mismatch - inconsistent source LRN",
                                       "Point code mismatch", "Service class mismatch", "Unqualified");
constexpr auto kRefusalCauses = numbered(
    "End user originated", "End user congestion", "End user failure", "SCCP user originated",
    "Destination address unknown", "Destination inaccessible", "Network resource - QoS not available/non-transient",
    "network resource - QoS not available/transient", "Access failure", "Access congestion", "Subsystem failure",
    "Eubsystem congestion", "Expiration of the connection establishment timer", "Incompatible user data", "Reserved",
    "Unqualified", "Hop counter violation", "SCCP failure", "No translation for an address of such nature",
    "Unequipped user");
constexpr auto kSubsystems =
    numbered("not known/not used", "SCCP management", "Reserved for ITU-T allocation", "ISDN user part",
             "Mperation, maintenance and administration part (OMAP", "Mobile application part (MAP)",
             "Home location register (HLR)", "Visitor location register (VLR)", "Mobile switching centre (MSC)",
             "Equipment identifier centre (EIC)", "Authentication centre (AUC)", "ISDN supplementary services",
             "Reserved for international use", "Broadband ISDN edge-to-edge applications", "TC test responder");
constexpr auto kGlobalTitle = numbered(
    "No global title included", "Global title includes nature of address indicator only",
    "Global title includes translation type only",
    "Global title includes translation type, numbering plan and encoding scheme",
    "Global title includes translation type, numbering plan, encoding scheme and nature of address indicator", "Spare",
    "Spare", "Spare", "Spare", "Spare", "Spare", "Spare", "Spare", "Spare", "Spare", "Reserved for extension");
constexpr auto kNatureOfAddress = numbered("Unknown", "Subscriber number", "Reserved for national use",
                                           "National significant number:", "International number");
constexpr auto kEncodingScheme =
    numbered("Unknown", "BCD, odd number of digits", "BCD, even number of digits", "National specific");
constexpr auto kNumberingPlan =
    numbered("Unknown", "ISDN/Telephony numbering plan (CCITT E.164)", "Generic numbering plan",
             "Data numbering plan (CCITT X.121)", "Telex numbering plan (CCITT F.69)",
             "Maritime mobile numbering plan (ITU-T E.210, E.211)", "Land mobile numbering plan (ITU-T E.212)",
             "ISDN/mobile numbering plan (ITU-T E.214)", "Spare", "Spare", "Spare", "Spare", "Spare", "Spare",
             "Private network or network-specific numbering plan", "Reserved");

// Called or calling party address of len octets from first. Returns false
// when the address is too short for what its indicator announces.
bool decodeSccpAddress(DecodeContext& ctx, size_t first, size_t len) {
  if (len < 2) return false;
  const uint8_t ai = ctx.at(first);
  flag(ctx, ai, 0, "", "Address contains a signalling point code", "Signalling point code absent");
  flag(ctx, ai, 1, "", "Address contains a subsystem number", "Subsystem number absent");
  constexpr Bits kGlobalTitleBits{5, 2};
  const unsigned gti = kGlobalTitleBits.of(ai);
  field(ctx, ai, kGlobalTitleBits, "", kGlobalTitle, "");
  flag(ctx, ai, 6, "", "Route on SSN", "Route on GT");
  field(ctx, ai, {7, 7}, "Reserved");
  size_t pos = first + 1;
  const size_t end = first + len;  // one past the address
  auto left = [&] { return pos < end ? end - pos : 0; };
  if (ai & 0x01) {
    if (left() < 2) return false;
    const uint8_t lo = ctx.at(pos), hi = ctx.at(pos + 1);
    ctx.newLineStars();
    ctx.append("Destination point code:");
    ctx.append(hex4(uint16_t((lo | hi << 8) & 0x3FFF)));
    field(ctx, hi, {7, 6}, "Reserved");
    pos += 2;
  }
  if (ai & 0x02) {
    if (left() < 1) return false;
    const uint8_t ssn = ctx.at(pos++);
    field(ctx, ssn, {7, 0}, "SSN:", kSubsystems, "Reserved");
  }
  auto translationType = [&] {
    const uint8_t tt = ctx.at(pos++);
    fieldHex(ctx, tt, {7, 0}, "Translation type:");
  };
  auto planAndScheme = [&] {
    const uint8_t o = ctx.at(pos++);
    field(ctx, o, {3, 0}, "Encoding scheme:", kEncodingScheme, "Spare");
    field(ctx, o, {7, 4}, "Numbering plan:", kNumberingPlan, "");
    return uint8_t(o & 0x0F);
  };
  auto natureOfAddress = [&] {
    const uint8_t o = ctx.at(pos++);
    field(ctx, o, {6, 0}, "Nature of address indicator:", kNatureOfAddress, "Spare");
    isupOddEven(ctx, o);
    return o;
  };
  auto digits = [&](bool odd) {
    if (pos < end)
      isupDigits(ctx, pos, end - 1, odd);
    else
      ctx.newLineDigits();
  };
  switch (gti) {
    case 1: {
      if (left() < 1) return false;
      const uint8_t noa = natureOfAddress();
      digits(noa & 0x80);
      break;
    }
    case 2:
      if (left() < 1) return false;
      translationType();
      break;
    case 3:
      if (left() < 2) return false;
      translationType();
      planAndScheme();
      break;
    case 4: {
      if (left() < 3) return false;
      translationType();
      const uint8_t scheme = planAndScheme();
      natureOfAddress();
      digits(scheme == 1);
      break;
    }
    default: break;
  }
  return true;
}

// Fields of one parameter whose len content octets start at first.
bool decodeContent(DecodeContext& ctx, uint8_t code, size_t first, size_t len, bool optional) {
  auto exact = [&](size_t n) { return !optional || len == n; };
  auto atLeast = [&](size_t n) { return !optional || len >= n; };
  const uint8_t o = ctx.at(first);
  switch (code) {
    case kDestinationRef:
    case kSourceRef: {
      if (!exact(3)) return false;
      ctx.newLineStars();
      if (code == kDestinationRef) ctx.append("Destination Local Reference:");
      ctx.append(hex8(uint32_t(o) | uint32_t(ctx.at(first + 1)) << 8 | uint32_t(ctx.at(first + 2)) << 16));
      return true;
    }
    case kProtocolClass: {
      if (!exact(1)) return false;
      constexpr Bits kClassBits{3, 0}, kOptionBits{7, 4};
      static constexpr auto kClass = numbered("Class 0", "Class 1", "Class 2", "Class 3");
      static constexpr CodeText kOptions[] = {{0, "No special options"}, {8, "Return message on error"}};
      const unsigned cls = kClassBits.of(o);
      field(ctx, o, kClassBits, "", kClass, "Unknown");
      if (cls < 2) {
        field(ctx, o, kOptionBits, "", kOptions, "Spare");
      } else if (cls < 4) {
        field(ctx, o, kOptionBits, "Spare");
      }
      return true;
    }
    case kSegmenting:
      if (!exact(1)) return false;
      flag(ctx, o, 0, "", "More data", "No more data");
      field(ctx, o, {7, 1}, "Spare");
      return true;
    case kReceiveSequence:
      if (!exact(1)) return false;
      field(ctx, o, {0, 0}, "Spare");
      fieldHex(ctx, o, {7, 1}, "");
      return true;
    case kSequencing: {
      if (!exact(2)) return false;
      flag(ctx, ctx.at(first + 1), 0, "", "More data", "No more data");
      ctx.newLineStars();
      ctx.append("Send sequence number:");
      ctx.append(hex4(uint16_t(o >> 1)));
      return true;
    }
    case kCredit:
      if (!exact(1)) return false;
      fieldHex(ctx, o, {7, 0}, "Window size value:");
      return true;
    case kReleaseCause:
      if (!exact(1)) return false;
      field(ctx, o, {7, 0}, "", kReleaseCauses, "Reserved");
      return true;
    case kReturnCause:
      if (!exact(1)) return false;
      field(ctx, o, {7, 0}, "", kReturnCauses, "Reserved");
      return true;
    case kResetCause:
      if (!exact(1)) return false;
      field(ctx, o, {7, 0}, "", kResetCauses, "Reserved");
      return true;
    case kErrorCause:
      if (!exact(1)) return false;
      field(ctx, o, {7, 0}, "", kErrorCauses, "Reserved");
      return true;
    case kRefusalCause:
      if (!exact(1)) return false;
      field(ctx, o, {7, 0}, "", kRefusalCauses, "Reserved");
      return true;
    case kData: return atLeast(1);
    case kSegmentation:
      if (!atLeast(2)) return false;
      fieldHex(ctx, o, {3, 0}, "Remaining segments:");
      field(ctx, o, {5, 4}, "Spare");
      flag(ctx, o, 6, "", "Class 1 selected", "Class 0 selected");
      flag(ctx, o, 7, "", "First segment", "Not first segment");
      return true;
    case kHopCounter:
      if (!exact(1)) return false;
      fieldHex(ctx, o, {7, 0}, "");
      return true;
    case kImportance:
      if (!exact(1)) return false;
      fieldHex(ctx, o, {2, 0}, "");
      field(ctx, o, {7, 3}, "Spare");
      return true;
    case kCalled:
    case kCalling: return decodeSccpAddress(ctx, first, len);
    default: return true;
  }
}

// One parameter: with optional, index is its length octet (a length line
// follows the name); otherwise its first content octet. Returns the octets
// consumed, 0 when the check fails or the parameter leaves the message.
size_t decodeSccpParameter(DecodeContext& ctx, uint8_t code, size_t index, bool optional) {
  ctx.newLineCont();
  ctx.append(parameterName(code));
  if (!optional) {
    const size_t size = fixedSize(code);
    if (!ctx.needs(index + size - 1)) return 0;
    return decodeContent(ctx, code, index, size, false) ? size : 0;
  }
  const uint8_t len = ctx.at(index);
  ctx.bitsLine(len);
  ctx.append("Parameter length:");
  ctx.append(hex2(len));
  if (len > 0 && !ctx.needs(index + len)) return 0;
  return decodeContent(ctx, code, index + 1, len, true) ? size_t(len) + 1 : 0;
}

void decodeSccpOptionalPart(DecodeContext& ctx, size_t p) {
  if (ctx.datl() == 0) return;
  const size_t last = ctx.datl() - 1;
  while (p <= last) {
    const uint8_t code = ctx.at(p);
    if (code == kEnd) {
      ctx.newLineCont();
      ctx.append("End of optional parameters");
      return;
    }
    if (code <= kImportance) {
      if (decodeSccpParameter(ctx, code, p + 1, true) == 0) return;
    } else if (code != kLongData) {
      ctx.newLineCont();
      ctx.append(parameterName(code));
    }
    p += size_t(ctx.at(p + 1)) + 2;
  }
  // The optional part ran out of the message before its end octet.
  ctx.markMalformed(p, "optional part without end");
}

}  // namespace

void decodeSccp(Ss7Message& msg) {
  DecodeContext& ctx = msg.ctx;
  const uint8_t type = ctx.at(8);
  if (type == 0 || type > std::size(kMessages)) {
    insertMessageName(msg, "      SCCP Message not implemented");
    return;
  }
  const SccpMessage& m = kMessages[type - 1];
  insertMessageName(msg, m.name);
  size_t i = 9;
  for (uint8_t code : m.fixed) {
    if (code == 0) break;
    const size_t used = decodeSccpParameter(ctx, code, i, false);
    if (used == 0) return;
    i += used;
  }
  // All pointer lines first, then the parameters they point to.
  const size_t width = m.longPointers ? 2 : 1;
  std::array<size_t, 4> targets{};
  size_t count = 0;
  for (uint8_t code : m.pointers) {
    if (code == 0) break;
    const size_t value = m.longPointers ? size_t(ctx.at(i)) | size_t(ctx.at(i + 1)) << 8 : ctx.at(i);
    ctx.bitsLine(ctx.at(i));
    if (code == kOptionalPart) {
      ctx.append("Pointer to optional part:");
    } else {
      ctx.append("Pointer to ");
      ctx.append(code == kLongData ? std::string_view("Data") : parameterName(code));
      ctx.append(':');
    }
    ctx.append(m.longPointers ? hex4(uint16_t(value)) : hex2(uint8_t(value)));
    targets[count++] = value == 0 ? 0 : i + value;
    i += width;
  }
  for (size_t k = 0; k < count; ++k) {
    const uint8_t code = m.pointers[k];
    const size_t target = targets[k];
    if (code == kOptionalPart) {
      if (target != 0 && ctx.needs(target)) decodeSccpOptionalPart(ctx, target);
      return;
    }
    if (code == kLongData) continue;  // long data is shown by its pointer only
    // A mandatory pointer of 0 or one leading outside the message ends here.
    if (target == 0 || !ctx.needs(target)) return;
    if (decodeSccpParameter(ctx, code, target, true) == 0) return;
  }
}

}  // namespace lumarc
