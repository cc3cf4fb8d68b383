// V5.2 layer 3 protocols: message names, the element loop and one element
// decoder per protocol. Every octet is read through DecodeContext::at(); an
// element is shown only when all of its octets lie in the message area.
#include "lumarc/decoder/v5_protocols.h"

#include "common/format.h"
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/fields.h"

namespace lumarc {

namespace {

using corvane::hex2;
using corvane::hex4;
using corvane::hex8;

constexpr size_t kFirstElement = 10;

// The 7-bit value of an octet below its extension bit.
constexpr Bits kValue{6, 0};

// ---- octet line helpers ----

// Identifier line: bits 7-0 of the identifier and the element's name.
void identifierLine(DecodeContext& ctx, uint8_t id, std::string_view name) {
  ctx.fieldLine(id, 7, 0);
  ctx.append(name);
}

// Shows the length line of the element at index and checks it: false when
// the length octet lies outside the message area, the length is outside
// min..max, or the content would need octets beyond the message area.
bool lengthLine(DecodeContext& ctx, size_t index, unsigned min, unsigned max) {
  if (!ctx.needs(index + 1)) return false;
  const uint8_t len = ctx.at(index + 1);
  fieldHex(ctx, len, {7, 0}, "Parameter length:");
  if (len < min || len > max) return false;
  return ctx.needs(index + 1 + len);
}

// Field line of bit 7: "Not Continued" when 1, "Continued" when 0; returns
// the bit.
bool extensionLine(DecodeContext& ctx, uint8_t octet) {
  const bool last = (octet & 0x80) != 0;
  ctx.fieldLine(octet, 7, 7);
  ctx.append(last ? "Not Continued" : "Continued");
  return last;
}

// Field line of bits hi..lo with "Spare field ok" when they equal expected,
// else "Spare field ill"; returns true when ok.
bool spareLine(DecodeContext& ctx, uint8_t octet, int hi, int lo, unsigned expected) {
  const bool ok = Bits{hi, lo}.of(octet) == expected;
  field(ctx, octet, {hi, lo}, ok ? "Spare field ok" : "Spare field ill");
  return ok;
}

// ---- message types ----

constexpr CodeText kPstnMessages[] = {
    // clang-format off
    {0x00, "PstnEstablish"},     {0x01, "PstnEstablishAck"},       {0x02, "PstnSignal"},
    {0x03, "PstnSignalAck"},     {0x08, "PstnDisconnect"},         {0x09, "PstnDisconnectComplete"},
    {0x0C, "PstnStatusEnquiry"}, {0x0D, "PstnStatus"},             {0x0E, "PstnProtocolParameter"},
};
// clang-format on

constexpr CodeText kControlMessages[] = {
    {0x10, "PortControl"},
    {0x11, "PortControlAck"},
    {0x12, "CommonControl"},
    {0x13, "CommonControlAck"},
};

constexpr CodeText kBccMessages[] = {
    // clang-format off
    {0x20, "BccAllocation"},         {0x21, "BccAllocationComplete"},   {0x22, "BccAllocationReject"},
    {0x23, "BccDeallocation"},       {0x24, "BccDeallocationComplete"}, {0x25, "BccDeallocationReject"},
    {0x26, "BccAudit"},              {0x27, "BccAuditComplete"},        {0x28, "BccAnFault"},
    {0x29, "BccAnFaultAck"},         {0x2A, "BccProtocolError"},
};

constexpr CodeText kProtectionMessages[] = {
    {0x18, "PrtSwitchoverReq"}, {0x19, "PrtSwitchoverComm"}, {0x1A, "PrtOsSwitchoverComm"},
    {0x1B, "PrtSwitchoverAck"}, {0x1C, "PrtSwitchoverRej"},  {0x1D, "PrtProtocolError"},
    {0x1E, "PrtResetSnCom"},    {0x1F, "PrtResetSnAck"},
};
// clang-format on

constexpr CodeText kLinkControlMessages[] = {{0x30, "LinkControl"}, {0x31, "LinkControlAck"}};

uint8_t messageType(const DecodeContext& ctx) { return ctx.at(9) & 0x7F; }

void elementLoop(DecodeContext& ctx, V5Protocol protocol) {
  size_t index = kFirstElement;
  while (index < ctx.datl()) index = decodeV5Element(ctx, protocol, index);
}

// ---- PSTN ----

constexpr CodeText kSteadySignals[] = {
    {0x00, "Normal polarity"},
    {0x01, "Reversed polarity"},
    {0x02, "Battery on c-wire"},
    {0x03, "No battery on c-wire"},
    {0x04, "Off hook (loop closed)"},
    {0x05, "On hook (loop open)"},
    {0x06, "Battery on a-wire"},
    {0x07, "A-wire on earth"},
    {0x08, "No battery on a-wire"},
    {0x09, "No battery on b-wire"},
    {0x0A, "Reduced battery"},
    {0x0B, "No battery"},
    {0x0C, "Alternate reduced power/no power"},
    {0x0D, "Normal battery"},
    {0x0E, "Stop ringing"},
    {0x0F, "Start pilot frequency"},
    {0x10, "Stop pilot frequency"},
    {0x11, "Low impedance on b-wire"},
    {0x12, "B-wire connected to earth"},
    {0x13, "B-wire disconnected from earth"},
    {0x14, "Battery on b-wire"},
    {0x15, "Low loop impedance"},
    {0x16, "High loop impedance"},
    {0x17, "Anomalous loop impedance"},
    {0x18, "A-wire disconnected from earth"},
    {0x19, "C-wire on earth"},
    {0x1A, "C-wire disconnected from earth"},
    {0x1D, "Ramp to reverse polarity"},
    {0x1E, "Ramp to normal polarity"},
};

constexpr CodeText kPulsedSignals[] = {
    {0x6B, "Pulsed b-wire disconnected"},
    {0x6C, "Pulsed a-wire disconnected"},
    {0x6D, "Pulsed normal battery"},
    {0x6E, "Pulsed c-wire disconnected"},
    {0x6F, "Pulsed c-wire connected to earth"},
    {0x70, "Pulsed a-wire connected to battery"},
    {0x71, "Pulsed a-wire connected to earth"},
    {0x72, "Pulsed b-wire connected to battery"},
    {0x73, "Earth loop pulse"},
    {0x74, "Pulsed b-wire connected to earth"},
    {0x75, "Pulsed off hook (pulsed loop closed)"},
    {0x76, "Register recall (timed loop open)"},
    {0x77, "50Hz pulse"},
    {0x78, "Meter pulse"},
    {0x79, "Initial ring"},
    {0x7A, "Pulsed no battery"},
    {0x7B, "Pulsed reduced battery"},
    {0x7C, "Pulsed on hook"},
    {0x7D, "Pulsed battery on c-wire"},
    {0x7E, "Pulsed reverse polarity"},
    {0x7F, "Pulsed normal polarity"},
};

// clang-format off
constexpr auto kSuppressionIndicators = numbered(
    "No suppression",
    "Allowed by pre-defined V5.2 SIGNAL message from LE",
    "Allowed by pre-defined line signal from TE",
    "Allowed by pre-defined V5.2 SIGNAL message from LE or pre-defined line signal from TE"
);

constexpr auto kAcknowledgeRequests = numbered(
    "No acknowledgement requested",
    "Ending acknowledgement requested when finished each pulse",
    "Ending acknowledgement requested when finished all pulses",
    "Start of pulse acknowledgement requested"
);
// clang-format on

// Suppression octet of a pulse attribute: duration type, suppression
// indicator and its extension line; returns bit 7.
bool suppressionOctet(DecodeContext& ctx, uint8_t o) {
  fieldHex(ctx, o, {4, 0}, "Pulse duration type:");
  field(ctx, o, {6, 5}, "Suppression indicator:", kSuppressionIndicators, "");
  return extensionLine(ctx, o);
}

// Acknowledgement octet of a pulse attribute: number of pulses, request and
// its extension line.
void acknowledgementOctet(DecodeContext& ctx, uint8_t o) {
  fieldHex(ctx, o, {4, 0}, "Number of pulses:");
  field(ctx, o, {6, 5}, "Acknowledge request:", kAcknowledgeRequests, "");
  extensionLine(ctx, o);
}

constexpr auto kLineInformation = numbered("Impedance marker reset", "Impedance marker set", "Lowloopimpedance",
                                           "Anomalous loop impedance", "Anomalous line condition received");

constexpr CodeText kPstnCauses[] = {
    {0x00, "Response to STATUS ENQUIRY"},
    {0x01, "Not used"},
    {0x03, "L3addr error"},
    {0x04, "Message type unrecognized"},
    {0x05, "Out of sequence information element"},
    {0x06, "Repeated optional information element"},
    {0x07, "Mandatory information element missing"},
    {0x08, "Unrecognized information element"},
    {0x09, "Mandatory information element content error"},
    {0x0A, "Optional information element content error"},
    {0x0B, "Message not compatible with path state"},
    {0x0C, "Repeated mandatory information element"},
    {0x0D, "Too many information elements"},
};

constexpr auto kPulseCountActions = numbered(
    "Cease to apply pulses after number specified by reporting pulse count have been applied",
    "Continue to apply pulses at same rate until the call is disconnected or receipt of new instructions from LE",
    "Reserved for ETSI use", "Reserved for ETSI use");

// clang-format off
constexpr auto kMeteringReports = numbered(
    "Meter report - metering ended",
    "Meter report - metering continuing",
    "Positive acknowledgement of new automatic metering instructions",
    "Failure of metering in the AN - no more metering pulses can be applied automatically"
);
// clang-format on

// One-octet PSTN elements (identifier 0x80 and above).
size_t pstnSingleOctet(DecodeContext& ctx, size_t index, uint8_t id) {
  const unsigned low = id & 0x0F;
  switch (id >> 4) {
    case 0x8:
      ctx.append("Line information:");
      ctx.append(lookup(kLineInformation, low, "Reserved"));
      return index + 1;
    case 0x9:
      ctx.append("Pstn FSM State:");
      if (low < 8) {
        ctx.append("AN");
        ctx.append(char('0' + low));
      } else {
        ctx.append(low == 15 ? "Not applicable" : "Not used");
      }
      return index + 1;
    case 0xA:
      ctx.append("Autonomous signalling sequence:");
      ctx.append(hex2(uint8_t(low)));
      return index + 1;
    case 0xB:
      ctx.append("Sequence response:");
      ctx.append(hex2(uint8_t(low)));
      return index + 1;
    default:
      if (id == 0xC0) {
        ctx.append("Pulse notification");
        return index + 1;
      }
      ctx.append("Reserved");
      return kV5EndOfElements;
  }
}

// Sequence number (0x00) and cadenced ringing (0x01): value and a bit 7 that
// must be 1.
size_t pstnNumbered(DecodeContext& ctx, size_t index, std::string_view caption) {
  const uint8_t c1 = ctx.at(index + 2);
  fieldHex(ctx, c1, kValue, caption);
  return spareLine(ctx, c1, 7, 7, 1) ? index + 3 : kV5EndOfElements;
}

size_t pstnPulsedSignal(DecodeContext& ctx, size_t index, uint8_t len) {
  const uint8_t c1 = ctx.at(index + 2);
  field(ctx, c1, kValue, "", kPulsedSignals, "Reserved");
  if (!spareLine(ctx, c1, 7, 7, 1)) return kV5EndOfElements;
  if (len >= 2) {
    const bool last = suppressionOctet(ctx, ctx.at(index + 3));
    if (!last && len == 3) acknowledgementOctet(ctx, ctx.at(index + 4));
  }
  return index + 2 + len;
}

size_t pstnSteadySignal(DecodeContext& ctx, size_t index) {
  const uint8_t c1 = ctx.at(index + 2);
  field(ctx, c1, kValue, "", kSteadySignals, "Reserved");
  return extensionLine(ctx, c1) ? index + 3 : kV5EndOfElements;
}

size_t pstnDigitSignal(DecodeContext& ctx, size_t index) {
  const uint8_t c1 = ctx.at(index + 2);
  fieldHex(ctx, c1, {3, 0}, "Digit:");
  if (!spareLine(ctx, c1, 5, 4, 0)) return kV5EndOfElements;
  flag(ctx, c1, 6, "", "Ending acknowledgement requested when digit transmission is finished",
       "No ending acknowledgement requested");
  return extensionLine(ctx, c1) ? index + 3 : kV5EndOfElements;
}

// Recognition time: the signal octet's own extension bit is shown under it
// (the duration octet carries a separate one).
size_t pstnRecognitionTime(DecodeContext& ctx, size_t index) {
  const uint8_t c1 = ctx.at(index + 2), c2 = ctx.at(index + 3);
  field(ctx, c1, kValue, "", v5SignalText(kValue.of(c1)));
  if (!extensionLine(ctx, c1)) return kV5EndOfElements;
  fieldHex(ctx, c2, {5, 0}, "Duration type:");
  ctx.fieldLine(c2, 6, 6);
  if (c2 & 0x40) {
    ctx.append("Spare field ill");
    return kV5EndOfElements;
  }
  ctx.append("Spare field ok");
  return extensionLine(ctx, c2) ? index + 4 : kV5EndOfElements;
}

// "Signal:" line of a signal octet followed by its extension line; returns
// bit 7.
bool signalOctet(DecodeContext& ctx, uint8_t o, std::string_view caption) {
  field(ctx, o, kValue, caption, v5SignalText(kValue.of(o)));
  return extensionLine(ctx, o);
}

size_t pstnEnableAutonomous(DecodeContext& ctx, size_t index, uint8_t len) {
  if (!signalOctet(ctx, ctx.at(index + 2), "Signal:")) return kV5EndOfElements;
  if (!signalOctet(ctx, ctx.at(index + 3), "Response:")) return kV5EndOfElements;
  if (len >= 3) {
    const bool last = suppressionOctet(ctx, ctx.at(index + 4));
    if (!last && len == 4) acknowledgementOctet(ctx, ctx.at(index + 5));
  }
  return index + 2 + len;
}

size_t pstnCause(DecodeContext& ctx, size_t index, uint8_t len) {
  const uint8_t c1 = ctx.at(index + 2);
  field(ctx, c1, kValue, "", kPstnCauses, "Reserved");
  return extensionLine(ctx, c1) ? index + 2 + len : kV5EndOfElements;
}

// Stars line with the 12-bit pulse count of octets hi (bits 6-0) and lo
// (bits 4-0).
void pulseCountLine(DecodeContext& ctx, uint8_t hi, uint8_t lo) {
  ctx.newLineStars();
  ctx.append("Pulse count:");
  ctx.append(hex4(uint16_t(((hi & 0x7F) << 5) | (lo & 0x1F))));
}

size_t pstnEnableMetering(DecodeContext& ctx, size_t index, uint8_t len) {
  const uint8_t c1 = ctx.at(index + 2), c2 = ctx.at(index + 3);
  field(ctx, c1, kValue, "Signal:", kPulsedSignals, "Reserved");
  if (extensionLine(ctx, c1)) return kV5EndOfElements;
  ctx.fieldLine(c2, 6, 0);
  ctx.append("Rate type:");
  ctx.append(hex2(c2));
  if (c2 & 0x80) {
    ctx.append("Not Continued");
    return index + 2 + len;
  }
  ctx.append("Continued");
  if (len <= 3) return kV5EndOfElements;
  const uint8_t c3 = ctx.at(index + 4), c4 = ctx.at(index + 5);
  if (extensionLine(ctx, c3)) return kV5EndOfElements;
  pulseCountLine(ctx, c3, c4);
  field(ctx, c4, {6, 5}, "", kPulseCountActions, "");
  if (!extensionLine(ctx, c4)) return kV5EndOfElements;
  if (len == 4) return index + 6;
  return suppressionOctet(ctx, ctx.at(index + 6)) ? index + 7 : kV5EndOfElements;
}

size_t pstnMeteringReport(DecodeContext& ctx, size_t index, uint8_t len) {
  const uint8_t c1 = ctx.at(index + 2), c2 = ctx.at(index + 3);
  if (extensionLine(ctx, c1)) return kV5EndOfElements;
  pulseCountLine(ctx, c1, c2);
  field(ctx, c2, {6, 5}, "", kMeteringReports, "");
  if (!extensionLine(ctx, c2)) return kV5EndOfElements;
  if (len == 3) {
    const uint8_t c3 = ctx.at(index + 4);
    static constexpr auto kFailureReasons = numbered("Unknown", "Portblocked (FE203/204)");
    field(ctx, c3, kValue, "Failure reason:", kFailureReasons, "Reserved");
    if (!extensionLine(ctx, c3)) return kV5EndOfElements;
  }
  return index + 2 + len;
}

size_t pstnAttenuation(DecodeContext& ctx, size_t index) {
  const uint8_t c1 = ctx.at(index + 2);
  fieldHex(ctx, c1, kValue, "");
  return extensionLine(ctx, c1) ? index + 3 : kV5EndOfElements;
}

struct VariableElement {
  uint8_t id;
  std::string_view name;
  uint8_t minLength;
  uint8_t maxLength;
};

constexpr VariableElement kPstnElements[] = {
    {0x00, "Sequence number", 1, 1},
    {0x01, "Cadenced ringing", 1, 1},
    {0x02, "Pulsed signal", 1, 3},
    {0x03, "Steady signal", 1, 1},
    {0x04, "Digit signal", 1, 1},
    {0x10, "Recognition time", 2, 2},
    {0x11, "Enable autonomous acknowledge", 2, 4},
    {0x12, "Disable autonomous acknowledge", 1, 1},
    {0x13, "Cause", 1, 3},
    {0x14, "Resource unavailable", 1, 6},
    {0x22, "Enable metering", 2, 5},
    {0x23, "Metering report", 2, 3},
    {0x24, "Attenuation", 1, 1},
};

// Identifier line of a variable element and its checked length line; the
// element's entry, or nullptr when the loop ends ("Reserved" identifier or a
// length that does not fit).
template <size_t N>
const VariableElement* variableHeader(DecodeContext& ctx, size_t index, const VariableElement (&table)[N]) {
  const uint8_t id = ctx.at(index);
  for (const VariableElement& e : table) {
    if (e.id != id) continue;
    identifierLine(ctx, id, e.name);
    return lengthLine(ctx, index, e.minLength, e.maxLength) ? &e : nullptr;
  }
  identifierLine(ctx, id, "Reserved");
  return nullptr;
}

size_t pstnElement(DecodeContext& ctx, size_t index) {
  const uint8_t id = ctx.at(index);
  if (id >= 0x80) {
    ctx.fieldLine(id, 7, 0);
    return pstnSingleOctet(ctx, index, id);
  }
  const VariableElement* e = variableHeader(ctx, index, kPstnElements);
  if (!e) return kV5EndOfElements;
  const uint8_t len = ctx.at(index + 1);
  switch (id) {
    case 0x00: return pstnNumbered(ctx, index, "No:");
    case 0x01: return pstnNumbered(ctx, index, "Type:");
    case 0x02: return pstnPulsedSignal(ctx, index, len);
    case 0x03: return pstnSteadySignal(ctx, index);
    case 0x04: return pstnDigitSignal(ctx, index);
    case 0x10: return pstnRecognitionTime(ctx, index);
    case 0x11: return pstnEnableAutonomous(ctx, index, len);
    case 0x12: return signalOctet(ctx, ctx.at(index + 2), "Signal:") ? index + 3 : kV5EndOfElements;
    case 0x13: return pstnCause(ctx, index, len);
    case 0x14: return index + 2 + len;
    case 0x22: return pstnEnableMetering(ctx, index, len);
    case 0x23: return pstnMeteringReport(ctx, index, len);
    default: return pstnAttenuation(ctx, index);
  }
}

// ---- control ----

constexpr CodeText kControlFunctionElements[] = {
    // clang-format off
    {0x01, "FE101 (activate access)"},
    {0x02, "FE102 (activation initiated by user)"},
    {0x03, "FE103 (DS activated)"},
    {0x04, "FE104 (access activated)"},
    {0x05, "FE105 (deactivate access)"},
    {0x06, "FE106 (access deactivated)"},
    {0x11, "FE201/202 (unblock)"},
    {0x13, "FE203/204 (block)"},
    {0x15, "FE205 (block request)"},
    {0x16, "FE206 (performance grading)"},
    {0x17, "FE207 (D-channel block)"},
    {0x18, "FE208 (D-channel unblock)"},
    {0x19, "FE209(TE out of service)"},
    {0x1A, "FE210(failure inside network)"},
};
// clang-format on

constexpr CodeText kControlFunctionIds[] = {
    {0x00, "Verify re-provisioning"},
    {0x01, "Ready for re-provisioning"},
    {0x02, "Not ready for re-provisioning"},
    {0x03, "Switch-over to new variant"},
    {0x04, "Re-provisioning started"},
    {0x05, "Cannot re-provision"},
    {0x06, "Request variant and interface ID"},
    {0x07, "Variant and interface ID"},
    {0x08, "Blocking started"},
    {0x10, "Restart request"},
    {0x11, "Restart complete"},
    {0x12, "Unblock pstn isdn ports request"},
    {0x13, "Unblock pstn isdn ports accepted"},
    {0x14, "Unblock pstn isdn ports rejected"},
    {0x15, "Unblock pstn isdn ports completed"},
    {0x16, "Unblock pstn ports request"},
    {0x17, "Unblock pstn ports accepted"},
    {0x18, "Unblock pstn ports rejected"},
    {0x19, "Unblock pstn ports completed"},
    {0x1A, "Unblock isdn ports request"},
    {0x1B, "Unblock isdn ports accepted"},
    {0x1C, "Unblock isdn ports rejected"},
    {0x1D, "Unblock isdn ports completed"},
    {0x1E, "Block pstn ports request"},
    {0x1F, "Block pstn ports accepted"},
    {0x20, "Block pstn ports rejected"},
    {0x21, "Block pstn ports completed"},
    {0x22, "Block isdn ports request"},
    {0x23, "Block isdn ports accepted"},
    {0x24, "Block isdn ports rejected"},
    {0x25, "Block isdn ports completed"},
};

constexpr VariableElement kControlElements[] = {
    {0x20, "Control function element", 1, 1},
    {0x21, "Control function ID", 1, 1},
    {0x22, "Variant", 1, 1},
    {0x23, "Interface ID", 3, 255},
};

size_t controlElement(DecodeContext& ctx, size_t index) {
  const uint8_t id = ctx.at(index);
  if (id >= 0xE0) {
    if (id >= 0xF0) {
      field(ctx, id, {7, 4}, "Rejection cause");
      static constexpr auto kRejectionCauses =
          numbered("Variant unknown", "Variant known, not ready", "Re-provisioning in progress");
      field(ctx, id, {3, 0}, "", kRejectionCauses, "Reserved");
    } else {
      field(ctx, id, {7, 4}, "Performance grading");
      static constexpr auto kGrades = numbered("Normal grade", "Degraded");
      field(ctx, id, {3, 0}, "", kGrades, "Not used");
    }
    return index + 1;
  }
  const VariableElement* e = variableHeader(ctx, index, kControlElements);
  if (!e) return kV5EndOfElements;
  const uint8_t len = ctx.at(index + 1);
  const uint8_t c1 = ctx.at(index + 2);
  switch (id) {
    case 0x20: field(ctx, c1, kValue, "", kControlFunctionElements, "Reserved"); break;
    case 0x21: field(ctx, c1, kValue, "", kControlFunctionIds, "Reserved"); break;
    case 0x22: fieldHex(ctx, c1, kValue, "Variant:"); break;
    default:  // 0x23 Interface ID: 3-octet groups, first octet most significant
      if (len % 3 != 0) return kV5EndOfElements;
      for (size_t g = 0; g < len; g += 3) {
        const size_t at = index + 2 + g;
        ctx.newLineStars();
        ctx.append("Interface:");
        ctx.append(hex8((uint32_t(ctx.at(at)) << 16) | (uint32_t(ctx.at(at + 1)) << 8) | ctx.at(at + 2)));
      }
      return index + 2 + len;
  }
  return extensionLine(ctx, c1) ? index + 3 : kV5EndOfElements;
}

// ---- BCC ----

constexpr CodeText kRejectCauses[] = {
    {0x00, "Unspecified"},
    {0x01, "Access network fault"},
    {0x02, "Access network blocked (internally)"},
    {0x03, "Connection already present at the PSTN user port to a different V5 time slot"},
    {0x04, "Connection already present at the V5 time slot(s) to a different port or ISDN user port time slot"},
    {0x05, "Connection already present at the ISDN user port time slot(s) to a different V5 time slot(s)"},
    {0x06, "User port unavailable (blocked)"},
    {0x07, "De-allocation cannot be completed due to incompatible data content"},
    {0x08, "De-allocation cannot be completed due to V5 time slot(s) data incompatibility"},
    {0x09, "De-allocation cannot be completed due to port data incompatibility"},
    {0x0A, "De-allocation cannot be completed due to user port time slot(s) data incompatibility"},
    {0x0B, "User port not provisioned"},
    {0x0C, "Invalid V5 time slot(s) identification(s)"},
    {0x0D, "Invalid V5.2 048 kbit/s link identification"},
    {0x0E, "Invalid user port time slot(s) identification(s)"},
    {0x0F, "V5 time slot(s) being used as physical C-channel(s)"},
    {0x10, "V5 link unavailable (blocked)"},
};

constexpr CodeText kBccProtocolErrors[] = {
    {0x01, "Protocol discriminator error"},
    {0x04, "Message type unrecognized"},
    {0x05, "Out of sequence information element"},
    {0x06, "Repeated optional information element"},
    {0x07, "Mandatory information element missing"},
    {0x08, "Unrecognized information element"},
    {0x09, "Mandatory information element content error"},
    {0x0A, "Optional information element content error"},
    {0x0B, "Message not compatible with the BCC protocol state"},
    {0x0C, "Repeated mandatory information element"},
    {0x0D, "Too many information elements"},
    {0x0F, "BCC Reference Number coding error"},
};

constexpr CodeText kConnectionIncomplete[] = {
    {0x00, "Incomplete normal"},
    {0x01, "Access network fault"},
    {0x02, "User port not provisioned"},
    {0x03, "Invalid V5 time slot identification"},
    {0x04, "Invalid V5.2 2048 kbit/s link identification"},
    {0x05, "Time slot being used as physical C-channel"},
};

constexpr VariableElement kBccElements[] = {
    {0x40, "User port identification", 2, 2},
    {0x41, "Isdn port channel identification", 1, 1},
    {0x42, "V5 time slot identification", 2, 2},
    {0x43, "Multi slot map", 9, 9},
    {0x44, "Reject cause", 1, 12},
    {0x45, "Protocol error cause", 1, 3},
    {0x46, "Connection incomplete", 1, 3},
};

// "V5.2 048 kbit/s link Identifier:" line of a whole octet.
void linkIdentifierLine(DecodeContext& ctx, uint8_t o) { fieldHex(ctx, o, {7, 0}, "V5.2 048 kbit/s link Identifier:"); }

// "V5 Time Slot Number:" line of bits 4-0.
void timeSlotLine(DecodeContext& ctx, uint8_t o) { fieldHex(ctx, o, {4, 0}, "V5 Time Slot Number:"); }

// Stars line of a 32-bit time-slot map (first octet most significant) with
// its lowest bit cleared, then the spare check of that bit; true when ok.
bool slotMapLine(DecodeContext& ctx, size_t first, std::string_view caption) {
  uint32_t map = 0;
  for (size_t k = 0; k < 4; ++k) map = (map << 8) | ctx.at(first + k);
  ctx.newLineStars();
  ctx.append(caption);
  ctx.append(hex8(map & ~uint32_t(1)));
  ctx.append(',');
  ctx.append((map & 1) ? "Spare field ill" : "Spare field ok");
  return (map & 1) == 0;
}

// Cause octet whose bit 7 reads "Spare field ok" when 1.
size_t causeWithSpareOne(DecodeContext& ctx, size_t index, uint8_t len, std::string_view text) {
  const uint8_t c1 = ctx.at(index + 2);
  ctx.fieldLine(c1, 6, 0);
  ctx.append(text);
  return spareLine(ctx, c1, 7, 7, 1) ? index + 2 + len : kV5EndOfElements;
}

size_t bccElement(DecodeContext& ctx, size_t index) {
  const uint8_t id = ctx.at(index);
  const VariableElement* e = variableHeader(ctx, index, kBccElements);
  if (!e) return kV5EndOfElements;
  const uint8_t len = ctx.at(index + 1);
  const uint8_t c1 = ctx.at(index + 2), c2 = ctx.at(index + 3);
  const size_t next = index + 2 + len;
  switch (id) {
    case 0x40:
      ctx.newLineStars();
      ctx.append("User Port Identification Value ");
      if (c1 & 1) {
        ctx.append("PSTNa:");
        ctx.append(hex4(uint16_t(((c1 & 0xFE) << 7) | c2)));
      } else {
        ctx.append("ISDNa:");
        ctx.append(hex4(uint16_t(((c1 & 0xFC) << 5) | (c2 >> 1))));
      }
      return next;
    case 0x41:
      fieldHex(ctx, c1, {4, 0}, "ISDN user port time slot number:");
      return spareLine(ctx, c1, 7, 5, 4) ? next : kV5EndOfElements;
    case 0x42:
      linkIdentifierLine(ctx, c1);
      timeSlotLine(ctx, c2);
      flag(ctx, c2, 5, "", "Override requested", "Override not requested");
      return spareLine(ctx, c2, 7, 6, 0) ? next : kV5EndOfElements;
    case 0x43:
      linkIdentifierLine(ctx, c1);
      if (!slotMapLine(ctx, index + 3, "V5Ts:")) return kV5EndOfElements;
      return slotMapLine(ctx, index + 7, "UpTs:") ? next : kV5EndOfElements;
    case 0x44: return causeWithSpareOne(ctx, index, len, lookup(kRejectCauses, c1 & 0x7F, "Reserved"));
    case 0x45: return causeWithSpareOne(ctx, index, len, lookup(kBccProtocolErrors, c1 & 0x7F, "Reserved"));
    default:  // 0x46
      field(ctx, c1, kValue, "", kConnectionIncomplete, "Reserved");
      extensionLine(ctx, c1);
      return next;
  }
}

// ---- protection ----

// clang-format off
constexpr auto kProtectionRejections = numbered(
    "No standby C-channel available",
    "Target physical C-channel not operational",
    "Target physical C-channel not provisioned",
    "Protection switching impossible (AN/LE failure)",
    "Protection group mismatch",
    "Requested allocation exists already",
    "Target physical C-channel already has logical C-channel"
);
// clang-format on

constexpr CodeText kProtectionErrors[] = {
    {0x01, "Protocol discriminator error"},
    {0x04, "Message type unrecognized"},
    {0x07, "Mandatory information element missing"},
    {0x08, "Unrecognized information element"},
    {0x09, "Mandatory information element content error"},
    {0x0B, "Message not compatible with protection protocol state"},
    {0x0C, "Repeated mandatory information element"},
    {0x0D, "Too many information elements"},
    {0x0F, "Logical C-Channel identification error"},
};

constexpr VariableElement kProtectionElements[] = {
    {0x50, "Sequence number", 1, 1},
    {0x51, "Physical C-channel identification", 2, 2},
    {0x52, "Rejection cause", 1, 1},
    {0x53, "Protocol error cause", 1, 3},
};

size_t protectionElement(DecodeContext& ctx, size_t index) {
  const uint8_t id = ctx.at(index);
  const VariableElement* e = variableHeader(ctx, index, kProtectionElements);
  if (!e) return kV5EndOfElements;
  const uint8_t len = ctx.at(index + 1);
  const uint8_t c1 = ctx.at(index + 2), c2 = ctx.at(index + 3);
  const size_t next = index + 2 + len;
  switch (id) {
    case 0x50: fieldHex(ctx, c1, kValue, "No:"); return extensionLine(ctx, c1) ? next : kV5EndOfElements;
    case 0x51:
      linkIdentifierLine(ctx, c1);
      timeSlotLine(ctx, c2);
      return spareLine(ctx, c2, 7, 5, 0) ? next : kV5EndOfElements;
    case 0x52: {
      field(ctx, c1, kValue, "", kProtectionRejections, "Reserved");
      return spareLine(ctx, c1, 7, 7, 0) ? next : kV5EndOfElements;
    }
    default:  // 0x53
      field(ctx, c1, kValue, "", kProtectionErrors, "Reserved");
      extensionLine(ctx, c1);
      return next;
  }
}

// ---- link control ----

// clang-format off
constexpr auto kLinkControlFunctions = numbered(
    "FE-IDReq",
    "FE-IDAck",
    "FE-IDRel",
    "FE-IDRej",
    "FE301/302 (link unblock)",
    "FE303/304 (link block)",
    "FE305 (deferred link block request)",
    "FE306 (non-deferred link block request)"
);
// clang-format on

}  // namespace

std::string_view v5SignalText(uint8_t value) {
  const std::string_view pulsed = lookup(kPulsedSignals, value, {});
  if (!pulsed.empty()) return pulsed;
  return lookup(kSteadySignals, value, "Reserved");
}

size_t decodeV5Element(DecodeContext& ctx, V5Protocol protocol, size_t index) {
  if (!DecodeContext::inMessage(index)) return kV5EndOfElements;
  switch (protocol) {
    case V5Protocol::Pstn: return pstnElement(ctx, index);
    case V5Protocol::Control: return controlElement(ctx, index);
    case V5Protocol::Bcc: return bccElement(ctx, index);
    case V5Protocol::Protection: return protectionElement(ctx, index);
  }
  return kV5EndOfElements;
}

void decodeV5Pstn(DecodeContext& ctx) {
  ctx.append(lookup(kPstnMessages, messageType(ctx), "Reserved"));
  elementLoop(ctx, V5Protocol::Pstn);
}

void decodeV5Control(DecodeContext& ctx) {
  const std::string_view name = lookup(kControlMessages, messageType(ctx), {});
  if (name.empty()) {
    ctx.append("Unknown");
    return;
  }
  ctx.append(name);
  elementLoop(ctx, V5Protocol::Control);
}

void decodeV5Bcc(DecodeContext& ctx) {
  const std::string_view name = lookup(kBccMessages, messageType(ctx), {});
  if (name.empty()) {
    ctx.append("Unknown");
    return;
  }
  ctx.append(name);
  elementLoop(ctx, V5Protocol::Bcc);
}

void decodeV5Protection(DecodeContext& ctx) {
  ctx.append(lookup(kProtectionMessages, messageType(ctx), "Reserved"));
  elementLoop(ctx, V5Protocol::Protection);
}

void decodeV5LinkControl(DecodeContext& ctx) {
  const std::string_view name = lookup(kLinkControlMessages, messageType(ctx), {});
  if (name.empty()) {
    ctx.append("Unknown");
    return;
  }
  ctx.append(name);
  const size_t datl = ctx.datl();
  if (datl > 10) {
    const uint8_t id = ctx.at(10);
    ctx.fieldLine(id, 7, 0);
    if (id == 0x30) ctx.append("Link control function");
  }
  if (datl < 12) return;
  const uint8_t len = ctx.at(11);
  fieldHex(ctx, len, {7, 0}, "Parameter length:");
  if (len != 1 || datl < 13) return;
  const uint8_t c1 = ctx.at(12);
  const std::string_view fn = lookup(kLinkControlFunctions, kValue.of(c1), {});
  field(ctx, c1, kValue, "", fn.empty() ? std::string_view("Reserved") : fn);
  if (fn.empty()) {
    return;
  }
  extensionLine(ctx, c1);
}

}  // namespace lumarc
