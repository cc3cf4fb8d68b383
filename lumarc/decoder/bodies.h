// Body decoders: one function per protocol family, each appending to the
// decode text of its context after the kind label and prefix.
//
// How a body decoder plugs in: the dispatcher in framework.cpp calls the
// functions declared here by record kind. A protocol family lives in its own
// file (lapd.cpp, q931.cpp, facility.cpp, ...). Bodies read bytes only
// through DecodeContext::at(), mark the record malformed when a length or
// pointer needs more than the message holds (DecodeContext::needs), use the
// line primitives of DecodeContext and the fields of fields.h, and call one
// another inward (LAPD -> call control -> facility -> call-control elements).
#pragma once

#include "lumarc/decoder/context.h"

#include <cstddef>
#include <cstdint>

namespace lumarc {

// ---- Data link (lapd.cpp) ----
// LAPD frame from message byte 0, ending with the hex dump.
void decodeLapd(DecodeContext& ctx);
// V5.2 envelope function address, LAPV5 and relayed ISDN frames.
void decodeV5Envelope(DecodeContext& ctx);
// Line-activation request / indication text chosen by ptyp.
void decodePhRequest(DecodeContext& ctx);
void decodePhIndication(DecodeContext& ctx);

// ---- ISDN call control (q931.cpp) ----
// One call-control message whose protocol discriminator is at offset.
void decodeCallControl(DecodeContext& ctx, size_t offset);

// ---- SS7 message transfer (mtp.cpp) ----
// MTP2 signal unit from message byte 0 (kinds 0xF5, 0xF6, 0xFC/0x25).
void decodeMtp2(DecodeContext& ctx);

// ---- V5.2 layer 3 (v5_protocols.cpp) ----
// Called by LAPV5 after "Spare field ok" with the message type at byte 9.
void decodeV5Pstn(DecodeContext& ctx);
void decodeV5Control(DecodeContext& ctx);
void decodeV5Bcc(DecodeContext& ctx);
void decodeV5Protection(DecodeContext& ctx);
void decodeV5LinkControl(DecodeContext& ctx);

// ---- Exchange-internal events and SIP (events.cpp) ----
// Call-control primitive to/from call control (kinds 0xFF, 0xFE, 0xF0, 0xEF).
void decodeCallControlPrimitive(DecodeContext& ctx);
// E1 line event (kind 0xF9).
void decodeE1Sync(DecodeContext& ctx);
// Received / transmitted signalling bits (kinds 0xF8 / 0xF7).
void decodeSignallingBits(DecodeContext& ctx, bool received);
// Register-signalling event (kinds 0xF1-0xF4), after its label.
void decodeRegisterSignalling(DecodeContext& ctx);
// SIP packet text (kinds 0xED / 0xEC).
void decodeSipPacket(DecodeContext& ctx);

}  // namespace lumarc
