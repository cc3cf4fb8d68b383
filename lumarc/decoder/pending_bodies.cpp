// Bodies of protocol families that are not decoded yet: they add nothing
// after the kind label. Each moves to its family's own file when built.
#include "lumarc/decoder/bodies.h"

namespace lumarc {

void decodeMtp2(DecodeContext&) {}
void decodeV5Pstn(DecodeContext&) {}
void decodeV5Control(DecodeContext&) {}
void decodeV5Bcc(DecodeContext&) {}
void decodeV5Protection(DecodeContext&) {}
void decodeV5LinkControl(DecodeContext&) {}
void decodeCallControlPrimitive(DecodeContext&) {}
void decodeE1Sync(DecodeContext&) {}
void decodeSignallingBits(DecodeContext&, bool) {}
void decodeRegisterSignalling(DecodeContext&) {}
void decodeSipPacket(DecodeContext&) {}

}  // namespace lumarc
