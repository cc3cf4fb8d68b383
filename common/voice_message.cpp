#include "common/voice_message.h"

#include "common/byte_io.h"

namespace corvane {
namespace {

// A request of size bytes with its 12-byte head written.
std::string requestHead(size_t size, uint8_t code, uint32_t fileKey, uint32_t seq) {
  std::string s(size, '\0');
  ByteWriter w(s);
  w.putLe32(voicemsg::kIdentifier, voiceIdentifier(code));
  w.putLe32(voicemsg::kFileKey, fileKey);
  w.putLe32(voicemsg::kSequence, seq);
  return s;
}

std::string shortRequest(uint8_t code, uint32_t selector, uint32_t seq) {
  std::string s = requestHead(voicemsg::kShortRequestSize, code, selector, seq);
  ByteWriter(s).put8(voicemsg::kShortMark, 0x41);
  return s;
}

}  // namespace

std::string voiceListRequest(uint32_t seq) { return shortRequest(kVoiceChannelList, kVoiceNoFile, seq); }
std::string voiceFileQuery(uint32_t seq) { return shortRequest(kVoiceFileQuery, kVoiceNoFile, seq); }
std::string voiceFileQuery(uint32_t selector, uint32_t seq) { return shortRequest(kVoiceFileQuery, selector, seq); }

std::string voiceBlockRequest(uint32_t fileKey, uint32_t seq, uint32_t dateWord, uint32_t block) {
  std::string s = requestHead(voicemsg::kBlockRequestSize, kVoiceBlock, fileKey, seq);
  ByteWriter w(s);
  w.putLe32(voicemsg::kDateWord, dateWord);
  w.putLe32(voicemsg::kBlockNumber, block);
  return s;
}

std::string voiceFileDone(uint32_t fileKey, uint32_t seq, uint32_t dateWord) {
  std::string s = requestHead(voicemsg::kFileDoneSize, kVoiceFileDone, fileKey, seq);
  ByteWriter(s).putLe32(voicemsg::kDateWord, dateWord);
  return s;
}

uint32_t voiceBlockCount(uint32_t size) { return size / kVoiceBlockSize + (size % kVoiceBlockSize ? 1 : 0); }

}  // namespace corvane
