// Exchange-internal events and SIP packet lines: the bodies of the
// call-control, E1, signalling-bit, register-signalling and SIP record kinds.
// Message bytes are read only through DecodeContext::at().
#include "lumarc/decoder/events.h"

#include "common/format.h"
#include "lumarc/decoder/bodies.h"
#include "lumarc/decoder/fields.h"

namespace lumarc {

namespace {

using corvane::hex4;
using corvane::hex6;

constexpr size_t kReleaseRowWidth = 32;

// Non-empty release-cause rows; every other code has an empty row.
constexpr CodeText kReleaseCauses[] = {
    {1, "E Unallocated   number"},
    {2, "E No route to   transit network"},
    {3, "E No route to   destination"},
    {4, "E Send special  information tone"},
    {5, "E Misdialled    trunk prefix"},
    {6, "E Channel       unacceptible"},
    {7, "E Channel awarded already in use"},
    {8, "E Preemption"},
    {9, "E Preemption-cct rsvd for reuse"},
    {16, "B Party         cleared"},
    {17, "E User busy"},
    {18, "E No user       responding"},
    {19, "E No answer from user"},
    {20, "E Subscriber    absent"},
    {21, "E Call rejected"},
    {22, "E Number changed"},
    {23, "E Redirection to new destination"},
    {25, "E Exchange routing error"},
    {26, "E Non selected  user clearing"},
    {27, "E Destination   out of order"},
    {28, "E Invalid number format"},
    {29, "E Facility      rejected"},
    {30, "E Response to   STATUS ENQUIRY"},
    {31, "E Call cleared"},
    {34, "E no circuit    available"},
    {38, "E network out of order"},
    {39, "E Permanent FMC out of service"},
    {40, "E Permanent FMC operational"},
    {41, "E Temporary     failure"},
    {42, "E switching Eqp. congestion"},
    {43, "E Access information discarded"},
    {44, "E Requested circ not available"},
    {46, "E Precedence    call blocked"},
    {47, "E Resource unav. unspecified"},
    {49, "E Quality of svc unavailable"},
    {50, "E Requested Fac.not subscribed"},
    {53, "E OgCall barred within CUG"},
    {55, "E IcCAll barred within CUG"},
    {57, "E Bearer cap.   not authorized"},
    {58, "E Bearer cap. presently unavail."},
    {62, "E Inconsistency in og.Access Inf"},
    {63, "E Service unavail. unspecified"},
    {65, "E Bearer cap.   not implemented"},
    {66, "E Channel type  not implemented"},
    {69, "E Facility      not implemented"},
    {70, "E Only restrctd.Beacap available"},
    {79, "E Service       not implemented"},
    {81, "E Invalid call  ref. value"},
    {82, "E Channel does  not exist"},
    {83, "E Susp.callexist call iden. not"},
    {84, "E Call identity in use"},
    {85, "E No call       suspended"},
    {86, "E Call with call iden cleared"},
    {87, "E User not      member of CUG"},
    {88, "E Incompatible  destination"},
    {90, "E Non existing  CUG"},
    {91, "E Invalid transit network select"},
    {95, "E Invalid       message"},
    {96, "E Mandatory ie. missing"},
    {97, "E Message type  non existent"},
    {98, "E Incompatible  message"},
    {99, "E nonexistant   ie."},
    {100, "E Invalid ie.   content"},
    {101, "E Message incomp with call state"},
    {102, "E Recovery on   timer expiry"},
    {103, "E Parameter     non existent"},
    {110, "E Message with  unrecognized prm"},
    {111, "E Protocol error"},
    {127, "E Interworking  unsecified"},
    {128, "E Function pointer invalid."},
    {129, "E Copy already  in progress"},
    {130, "E Non existing  function"},
    {131, "E Invalid digit"},
    {132, "E System Prog.  invalid"},
    {133, "E First param.  invalid"},
    {134, "E Second param. invalid"},
    {135, "E Third param.  invalid"},
    {136, "E Fourth param. invalid"},
    {137, "E Fifth param.  invalid"},
    {138, "E invalid port  access code"},
    {139, "E Timer expired"},
    {140, "E Password      invalid"},
    {141, "E Incomplete    digits received"},
    {143, "E No port       on Hold found"},
    {144, "E No suspended  port found"},
    {145, "E Conference    req. failed"},
    {146, "E Call transfer failed"},
    {148, "E Buffer        overflow"},
    {149, "E User undefined"},
    {150, "E Poll location empty"},
    {151, "E Destination   busy"},
    {152, "E Call          deflection"},
    {153, "E Call picked"},
    {154, "E Invalid selected process"},
    {155, "E L3 buffer size insufficient"},
    {156, "E No switching  circuit"},
    {157, "E ConnAck       missing"},
    {158, "E Retrieve rejeced"},
    {159, "E Port type not supported"},
    {160, "E Port not held"},
    {161, "E CC state incompatible"},
    {162, "E Target call   profile invalid"},
    {163, "E Target user   profile invalid"},
    {164, "E Call profile  buffer insuff."},
    {165, "E No more alternative route"},
    {166, "E Authorization insufficient"},
    {167, "E CMDR disk     buffer full"},
    {168, "E Trunk acces not permitted"},
    {169, "E Port type     invalid"},
    {170, "E Line          access failure"},
    {171, "E Ring stopped"},
    {172, "E L2 state      invalid"},
    {173, "E Destination   out of order"},
    {174, "E Subscriber    hook flashed"},
    {175, "E Incoming calls disabled"},
    {176, "E Switching     circuit invalid"},
    {177, "E Credit limit  exceeded"},
    {178, "E No call back  defined"},
    {179, "E Call          collision"},
    {180, "E Diverted call  rejected"},
    {181, "E Call charge   limit exceeded"},
    {182, "E no available  MFR1 xmitter"},
    {183, "E no available  MFR1 receiver"},
    {184, "E Invalid CD    bits"},
    {185, "E Unexpected    AB bits"},
    {186, "E no available  MFC R2 Trancvr."},
    {187, "E Unexpected    R2 event"},
    {188, "E Forced release"},
    {189, "E Port is not   in route"},
    {190, "E No call found"},
    {191, "E 2nd attempt to dial from pool"},
    {192, "E Non subscriner port"},
    {193, "E Feature       already active"},
    {194, "E Port types are not same"},
    {195, "E Not credit    controlled"},
    {196, "E Unexpected    Pulse pckt event"},
    {197, "E no available  MFR1 tranceiver"},
    {198, "E Unexpected    R1.5 event"},
    {199, "E Unexpected    R1 event"},
    {200, "E CNI restricted"},
    {201, "E Unexpected    modem event"},
    {202, "E Link activatn.failure"},
    {203, "E Quota full"},
    {204, "E Unexpected    DP event"},
    {205, "E Port dedicated to V5.2"},
    {206, "E Media socket  error"},
    {207, "E H.323 call    deflection"},
    {208, "E H.323 security denial"},
    {209, "E RTP error"},
    {210, "E Call linkage  refused"},
    {211, "E H.323 ras     error"},
    {212, "E Unregistered"},
    {213, "E Adjunct       refuse"},
    {214, "E Call progress tone clear"},
};

constexpr CodeText kToCallControl[] = {
    {1, "SetupIndication"},          {2, "InfoIndication"},         {3, "DtmfReceiverTimeout"},
    {4, "ReleaseConfirm"},           {5, "HoldIndication"},         {6, "RetrieveIndication"},
    {7, "SuspendIndication"},        {8, "ResumeIndication"},       {9, "ReleaseIndication"},
    {10, "ConnectIndication"},       {11, "AlertingIndication"},    {12, "ConnectAckIndication"},
    {13, "ProceedingIndication"},    {14, "RoutingFailure"},        {15, "MoreInfoIndication"},
    {16, "DisconnetIndication"},     {17, "InbandInfoIndication"},  {18, "StatusIndication"},
    {19, "ProgressIndication"},      {20, "NotifyIndication"},      {21, "SuspendConfirm"},
    {22, "SuspendRejectIndication"}, {23, "ResumeConfirm"},         {24, "ResumeRejectIndication"},
    {26, "ChargePulseIndication"},   {27, "CamponIndication"},      {28, "MaliciousCallIndication"},
    {29, "FacilityIndication"},      {30, "AdrCompleteIndication"}, {31, "RingStartIndication"},
    {32, "RingStopIndication"},      {33, "AniStartIndication"},    {34, "AniStopIndication"},
    {35, "BPartyOnHookIndication"},  {36, "ReAnswerIndication"},    {37, "InrIndication"},
    {38, "InfIndication"},
};

constexpr CodeText kFromCallControl[] = {
    {1, "RejectRequest"},         {2, "DisconnectRequest"},
    {3, "MoreInfoRequest"},       {4, "ProceedingRequest"},
    {5, "ReleaseRequest"},        {6, "SetupRequest"},
    {7, "AlertingRequest"},       {8, "ConnectRequest"},
    {9, "ConnectResponse"},       {10, "HoldResponse"},
    {11, "HoldRejectRequest"},    {12, "NotifyRequest "},
    {13, "RetrieveResponse"},     {14, "RetrieveRejectRequest"},
    {15, "InfoRequest"},          {16, "ProgressRequest"},
    {17, "SuspendResponse"},      {18, "SuspendRejectRequest"},
    {19, "ResumeResponse"},       {20, "ResumeRejectRequest"},
    {21, "SuspendRequest"},       {22, "ResumeRequest"},
    {23, "ChargePulseRequest"},   {24, "VoiceMessageRequest"},
    {25, "MaliciousCallRequest"}, {26, "RingStartRequest"},
    {27, "RingStopRequest"},      {28, "AniStartRequest"},
    {29, "AniStopRequest"},       {30, "BPartyOnHookRequest"},
    {31, "ReAnswerRequest"},      {32, "InrRequest"},
    {33, "InfRequest"},           {34, "ConferenceResponse"},
    {35, "CompanionDataRequest"}, {36, "InbandInfoRequest"},
};

// Primitive codes with a meaning of their own in the body.
constexpr uint8_t kSetupIndication = 1, kInfoIndication = 2, kReleaseConfirm = 4, kReleaseIndication = 9,
                  kDisconnectIndication = 16;
constexpr uint8_t kRejectRequest = 1, kDisconnectRequest = 2, kReleaseRequest = 5, kSetupRequest = 6,
                  kNotifyRequest = 12;

constexpr CodeText kNotifications[] = {
    {0x00, "UserSuspended"},    {0x01, "UserResumed"},        {0x02, "BearerChange"},     {0x42, "ConfEstablished"},
    {0x43, "ConfDisconnected"}, {0x68, "DiversionActivated"}, {0x69, "AlertingTransfer"}, {0x6A, "ActiveTransfer"},
    {0x79, "RemoteHold"},       {0x7A, "RemoteRetrieval"},    {0x7B, "CallisDiverting"},  {0x80, "3PtyRemoved"},
};

// The octets of a 16-bit record word (type, indicator).
constexpr uint8_t highOctet(uint16_t word) { return uint8_t(word >> 8); }
constexpr uint8_t lowOctet(uint16_t word) { return uint8_t(word); }

// Information and register kinds by the indicator's high octet.
constexpr uint8_t kFromPool = 0x07;

// clang-format off
constexpr CodeText kInformationKinds[] = {
    {0x01, " DialPulse"}, {0x02, " Dtmf"},      {0x03, " MF R1"},      {0x04, " MFC R2"},
    {0x05, " O.BAND"},    {0x07, " From pool"}, {0x0B, " QUILLET  "},
};

// 15 characters, right-aligned.
constexpr CodeText kRegisterKinds[] = {
    {0x01, "             DP"}, {0x02, "           DTMF"}, {0x03, "          MF R1"},
    {0x04, "         MFC R2"}, {0x05, "         O.BAND"}, {0x07, "           POOL"},
};
// clang-format on

// Signal states of the signalling-bit kinds: bits 3-0 of each indicator
// octet; the record's direction in bit 0 of its direction word.
constexpr Bits kSignalState{3, 0};
constexpr int kOutgoingBit = 0;

constexpr CodeText kE1Events[] = {
    {1, "CRC4 error treshold exceeded, Reframing"},
    {2, "Frame synchronization achieved"},
    {3, "Frame synchronization Lost"},
    {4, "Time slot 16 AIS"},
    {5, "Time slot 16 no AIS"},
    {6, "CAS Multiframing achieved"},
    {7, "CAS Multiframing lost"},
    {8, "CRC4 Multiframing achieved"},
    {9, "CRC4 Multiframing Lost"},
    {10, "RAI"},
    {11, "no RAI"},
    {12, "CAS Multiframing error at remote side"},
    {13, "no CAS Multiframing error at remote side"},
    {14, "Line Operational"},
    {15, "Line Inoperational"},
    {16, "Slip"},
    {17, "AIS"},
    {18, "no AIS"},
    {19, "CRC4 multiframing timout, Reframing"},
    {20, "Operational timeout, All existing calls cleared"},
};

// Dialled digits of a setup: bytes 3..34, one per character (0x30 + value),
// up to the first value of 15 or more; no line when byte 3 is already one.
void appendDigitRow(DecodeContext& ctx) {
  constexpr size_t kFirst = 3, kLast = 34;
  if (ctx.at(kFirst) >= 15) return;
  ctx.newLineDigits();
  for (size_t i = kFirst; i <= kLast; ++i) {
    const uint8_t b = ctx.at(i);
    if (b >= 15) break;
    ctx.rawChar(uint8_t(0x30 + b));
  }
}

uint16_t indicator(const DecodeContext& ctx) { return uint16_t(ctx.record().ind); }

// Characters 'first'..'first'+count-1 of text read as one hexadecimal number
// (any non-hexadecimal character counts 15).
uint32_t hexField(std::string_view text, size_t first, size_t count) {
  return corvane::parseHex(text.substr(first, count));
}

}  // namespace

std::string releaseCauseRow(uint8_t code) {
  const std::string_view text = lookup(kReleaseCauses, code, {});
  if (text.empty()) return {};
  std::string row(text);
  row.resize(kReleaseRowWidth, ' ');
  return row;
}

void appendReleaseCause(DecodeContext& ctx) {
  const std::string row = releaseCauseRow(lowOctet(indicator(ctx)));
  if (row.empty()) return;
  ctx.newLineCont();
  ctx.append(row);
}

std::string_view callControlPrimitiveName(bool toCallControl, uint8_t code) {
  return toCallControl ? lookup(kToCallControl, code, "Unknown") : lookup(kFromCallControl, code, "Unknown");
}

void decodeCallControlPrimitive(DecodeContext& ctx) {
  const uint16_t type = uint16_t(ctx.record().type);
  const unsigned kind = highOctet(type);
  const bool toCc = kind == 0xFF || kind == 0xF0;
  const uint8_t code = lowOctet(type);
  const uint16_t ind = indicator(ctx);
  ctx.append(hex6((uint32_t(ctx.at(0)) << 16) | (uint32_t(ctx.at(1)) << 8) | ctx.at(2)));
  ctx.append(' ');
  ctx.append(callControlPrimitiveName(toCc, code));
  if (toCc) {
    switch (code) {
      case kInfoIndication: {
        const std::string_view info = lookup(kInformationKinds, highOctet(ind), {});
        ctx.append(info);
        if (highOctet(ind) == kFromPool) appendDigitRow(ctx);
        break;
      }
      case kSetupIndication: appendDigitRow(ctx); break;
      case kReleaseConfirm:
      case kReleaseIndication:
      case kDisconnectIndication: appendReleaseCause(ctx); break;
      default: break;
    }
    return;
  }
  switch (code) {
    case kNotifyRequest: ctx.append(lookup(kNotifications, lowOctet(ind), {})); break;
    case kSetupRequest: appendDigitRow(ctx); break;
    case kRejectRequest:
    case kDisconnectRequest:
    case kReleaseRequest: appendReleaseCause(ctx); break;
    default: break;
  }
}

void decodeE1Sync(DecodeContext& ctx) {
  const uint32_t ind = uint32_t(ctx.record().ind);
  if (ind >= 1 && ind <= 20) ctx.append(lookup(kE1Events, ind, {}));
}

void decodeSignallingBits(DecodeContext& ctx, bool received) {
  const uint16_t ind = indicator(ctx);
  const uint8_t after = uint8_t(kSignalState.of(lowOctet(ind))), high = uint8_t(kSignalState.of(highOctet(ind)));
  const bool oneByte = ctx.datl() == 1;
  if (received) {
    // The high nibble holds the bits that changed: the state before is their XOR.
    if (oneByte) {
      ctx.spaces(8);
      ctx.nibbleBits(ctx.at(0));
      ctx.append(' ');
    }
    ctx.nibbleBits(uint8_t(high ^ after));
    ctx.append(" -> ");
    ctx.nibbleBits(after);
    return;
  }
  ctx.nibbleBits(high);
  ctx.append(" -> ");
  ctx.nibbleBits(after);
  if (oneByte) {
    ctx.append(' ');
    ctx.nibbleBits(ctx.at(0));
  }
}

void decodeRegisterSignalling(DecodeContext& ctx) {
  const MonitorRecord& r = ctx.record();
  const uint16_t ind = indicator(ctx);
  ctx.append(hex4(ind));
  ctx.append(' ');
  ctx.append(flagText(uint8_t(r.dir), kOutgoingBit, "O ", "I "));
  ctx.append(r.cport);
  ctx.append(' ');
  ctx.append(lookup(kRegisterKinds, highOctet(ind), {}));
}

void decodeSipPacket(DecodeContext& ctx) {
  const MonitorRecord& r = ctx.record();
  if (r.cport.size() == 8) {
    // The address is the word at frame offset 0, most significant byte
    // first, as its port text shows it (a blank stands for nibble 15).
    for (size_t k = 0; k < 4; ++k) {
      if (k != 0) ctx.append('.');
      ctx.append(corvane::decN(hexField(r.cport, 2 * k, 2)));
    }
    if (r.pport.size() == 8) {
      ctx.append(':');
      ctx.append(corvane::decimal(hexField(r.pport, 4, 4)));
    }
  }
  ctx.newLine();
  // The packet's first line: up to the first CR or LF, never beyond datl.
  for (size_t i = 0; i < ctx.datl(); ++i) {
    const uint8_t b = ctx.at(i);
    if (b == 0x0D || b == 0x0A) break;
    ctx.rawChar(b);
  }
}

}  // namespace lumarc
