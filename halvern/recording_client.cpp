#include "halvern/recording_client.h"

#include "common/byte_io.h"
#include "common/fault_seam.h"
#include "common/format.h"
#include "halvern/texts.h"

#include <ostream>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halvern {

using corvane::ByteReader;
using corvane::VoiceCode;
namespace voicemsg = corvane::voicemsg;

std::string keysetRecordingTitle(const std::uint8_t (&description)[corvane::kVoiceDescriptionSize]) {
  // The row's title ends with "_" and the exchange address (8 hex digits),
  // which a keyset leaves out; before it stand "_" and the call reference,
  // empty when 0, whose separator goes too when it is.
  const corvane::Recording row = corvane::voiceRecordFromDescription(description, std::string(), 0);
  std::string title = corvane::recordingTitle(row);
  title.resize(title.size() - 9);
  if (row.cref == 0) title.pop_back();
  return title;
}

RecordingClient::RecordingClient(std::string workDir, std::uint32_t selector, int language,
                                 RecordingClientActions& actions)
    : workDir_(std::move(workDir)), selector_(selector), language_(language), actions_(actions) {}

RecordingClient::~RecordingClient() { abandon(); }

std::string RecordingClient::wavDir() const { return corvane::joinPath(workDir_, corvane::kVoiceFolder); }

std::string RecordingClient::textOf(int id) const { return text(id, language_); }

void RecordingClient::setLine(int line, std::string text) { lines_[line] = std::move(text); }

void RecordingClient::onConnected() {
  if (socket_ == RecordingSocket::Connecting) socket_ = RecordingSocket::Connected;
}

void RecordingClient::onPeerClosed() {
  if (socket_ != RecordingSocket::Closed) socket_ = RecordingSocket::PeerClosed;
}

void RecordingClient::restartReplyTimers() {
  requestRepeat.restart();
  giveUp.restart();
  clearLines.restart();
}

std::string RecordingClient::request(VoiceCode code) const {
  switch (code) {
    case corvane::kVoiceFileQuery: return corvane::voiceFileQuery(selector_, sequence_);
    case corvane::kVoiceBlock:
      return corvane::voiceBlockRequest(current_->fileKey, sequence_, current_->dateWord, current_->nextBlock);
    case corvane::kVoiceFileDone: return corvane::voiceFileDone(current_->fileKey, sequence_, current_->dateWord);
    case corvane::kVoiceChannelList: break;
  }
  return {};
}

void RecordingClient::send(VoiceCode code) {
  const std::string bytes = request(code);
  outstanding_ = code;
  ++sequence_;
  actions_.sendDatagram(bytes);
}

void RecordingClient::download() {
  if (current_) return;
  if (socket_ != RecordingSocket::Connected) {
    setLine(0, textOf(kTextNoConnection));
    setLine(1, {});
    return;
  }
  downloaded_ = 0;
  // A run starts with nothing waited for yet.
  restartReplyTimers();
  send(corvane::kVoiceFileQuery);
  setLine(0, textOf(kTextConnectingToServer));
  setLine(1, {});
}

void RecordingClient::onDatagram(const std::uint8_t* d, std::size_t len) {
  if (socket_ != RecordingSocket::Connected || !outstanding_) return;
  if (len > kRecordingReceiveBuffer) len = kRecordingReceiveBuffer;
  const ByteReader in(d, len);
  if (len < voicemsg::kHeadSize || in.le32(voicemsg::kIdentifier) != corvane::voiceIdentifier(*outstanding_) ||
      in.le32(voicemsg::kSequence) != std::uint32_t(sequence_ - 1))
    return;
  const VoiceCode code = *outstanding_;
  outstanding_.reset();
  restartReplyTimers();
  switch (code) {
    case corvane::kVoiceFileQuery: handleOffer(d, len); break;
    case corvane::kVoiceBlock: handleBlock(d, len); break;
    case corvane::kVoiceFileDone: handleDone(); break;
    case corvane::kVoiceChannelList: break;
  }
}

void RecordingClient::handleOffer(const std::uint8_t* d, std::size_t len) {
  const ByteReader in(d, len);
  if (len != voicemsg::kOfferSize || in.le32(voicemsg::kSelector) != selector_ ||
      in.le32(voicemsg::kOfferFileKey) != selector_)
    return;
  const std::uint32_t dateWord = in.le32(voicemsg::kOfferDateWord);
  if (dateWord == 0) {
    // The end of the list: the run is over.
    setLine(0, textOf(kTextDownloadedFile) + " " + corvane::dec4(downloaded_));
    setLine(1, {});
    return;
  }
  const std::uint32_t size = in.le32(voicemsg::kOfferFileSize);
  if (size == 0) {
    // Nothing to fetch, but the exchange offers its oldest unconfirmed
    // recording again and again: left unconfirmed, an empty one would stop
    // every later recording of the extension. It is confirmed, not counted.
    Recording r;
    r.dateWord = dateWord;
    r.fileKey = selector_;
    r.ended = true;
    r.empty = true;
    current_ = std::move(r);
    send(corvane::kVoiceFileDone);
    return;
  }
  std::uint8_t description[corvane::kVoiceDescriptionSize];
  std::memcpy(description, d + voicemsg::kOfferDescription, sizeof description);
  Recording r;
  r.dateWord = dateWord;
  r.fileKey = selector_;
  r.size = size;
  r.blocks = corvane::voiceBlockCount(size);
  r.path = corvane::joinPath(wavDir(), keysetRecordingTitle(description));
  corvane::ensureDirectory(wavDir());
  r.file.reset(std::fopen(r.path.c_str(), "wb"));
  if (!r.file) {
    setLine(0, textOf(kTextFileOpenFailed));
    setLine(1, {});
    return;
  }
  current_ = std::move(r);
  send(corvane::kVoiceBlock);
  setLine(0, textOf(kTextDownloading) + current_->path);
  setLine(1, std::to_string(current_->nextBlock + 1) + "/" + std::to_string(current_->blocks));
}

void RecordingClient::handleBlock(const std::uint8_t* d, std::size_t len) {
  const ByteReader in(d, len);
  if (!current_ || current_->ended || len > voicemsg::kBlockReplyMax ||
      in.le32(voicemsg::kFileKey) != current_->fileKey)
    return;
  Recording& r = *current_;
  const std::size_t n = len - voicemsg::kBlockData;
  const bool last = r.nextBlock + 1 >= r.blocks;
  if (n == 0 || (n < corvane::kVoiceBlockSize && !last)) {
    endFile(true);
    return;
  }
  // A last block longer than what remains of the file is cut to it.
  const std::size_t remaining = r.size - std::size_t(r.nextBlock) * corvane::kVoiceBlockSize;
  const std::size_t take = n < remaining ? n : remaining;
  bool written = !corvane::fault::hit(corvane::fault::Point::FileWrite, r.path);
  written = written && std::fwrite(d + voicemsg::kBlockData, 1, take, r.file.get()) == take;
  if (!written) {
    abandon();
    setLine(0, textOf(kTextDownloadFailed));
    setLine(1, {});
    return;
  }
  ++r.nextBlock;
  if (r.nextBlock < r.blocks) {
    send(corvane::kVoiceBlock);
    setLine(1, std::to_string(r.nextBlock + 1) + "/" + std::to_string(r.blocks));
    return;
  }
  endFile(false);
}

void RecordingClient::endFile(bool cut) {
  Recording& r = *current_;
  // Closed by hand: a failing close means the recording is not whole.
  std::FILE* f = r.file.release();
  const bool flushed = std::fflush(f) == 0;
  if (std::fclose(f) != 0 || !flushed) {
    abandon();
    setLine(0, textOf(kTextDownloadFailed));
    setLine(1, {});
    return;
  }
  r.ended = true;
  r.cut = cut;
  if (cut) {
    setLine(0, textOf(kTextDownloadFailed));
    setLine(1, {});
  }
  send(corvane::kVoiceFileDone);
}

void RecordingClient::handleDone() {
  if (!current_ || !current_->ended) return;
  if (!current_->empty) {
    actions_.recordingFetched(current_->path);
    if (!current_->cut) ++downloaded_;
  }
  current_.reset();
  send(corvane::kVoiceFileQuery);
}

void RecordingClient::abandon() {
  if (!current_) return;
  if (current_->empty) {
    // No file was made.
  } else if (current_->ended) {
    // Whole on disk but unconfirmed: the exchange may have forgotten it
    // already, so it is kept.
    actions_.recordingFetched(current_->path);
  } else {
    current_->file.reset();
    ::unlink(current_->path.c_str());
  }
  current_.reset();
}

bool RecordingClient::refreshStep() {
  requestRepeat.tick();
  giveUp.tick();
  clearLines.tick();
  if (socket_ == RecordingSocket::Connected) {
    if (outstanding_ && requestRepeat.atRoundTick(requestRepeat.limit() - 2)) send(*outstanding_);
    if (outstanding_ && giveUp.exceeded()) {
      abandon();
      outstanding_.reset();
      setLine(0, textOf(kTextDownloadFailed));
      setLine(1, {});
    }
    if (clearLines.exceeded()) {
      setLine(0, {});
      setLine(1, {});
    }
    return false;
  }
  if (socket_ == RecordingSocket::PeerClosed) {
    socket_ = RecordingSocket::Closed;
    abandon();
    outstanding_.reset();
    return true;
  }
  return false;
}

const char* recordingSocketName(RecordingSocket s) {
  switch (s) {
    case RecordingSocket::None: return "None";
    case RecordingSocket::Connecting: return "Connecting";
    case RecordingSocket::Connected: return "Connected";
    case RecordingSocket::PeerClosed: return "PeerClosed";
    case RecordingSocket::Closed: return "Closed";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, RecordingSocket s) { return os << recordingSocketName(s); }

}  // namespace halvern
