// The voice recording download link: up to 32 UDP channels to one exchange.
// Channel 0 goes to the typed address and fetches the channel list; every
// channel then asks for files, fetches each in 1024-byte blocks (one
// request per block), stores it under "Wav" by the naming rule, hands its
// row to the store and then confirms it. A state machine fed datagrams and
// 100 ms ticks; it acts through one DatagramTransport per channel.
#pragma once

#include "common/files.h"
#include "common/recording_name.h"
#include "common/tick_timer.h"
#include "common/voice_message.h"
#include "lumarc/links/datagram.h"
#include "lumarc/links/link.h"
#include "lumarc/records/voice_sinks.h"

#include <array>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace lumarc {

constexpr int kVoiceChannels = 32;
constexpr size_t kVoiceReceiveBuffer = 1512;

// The messages are shared with the softphone (common/voice_message.h).
using corvane::kVoiceBlock;
using corvane::kVoiceBlockSize;
using corvane::kVoiceChannelList;
using corvane::kVoiceFileDone;
using corvane::kVoiceFileQuery;
using corvane::kVoiceNoFile;
using corvane::voiceBlockCount;
using corvane::voiceBlockRequest;
using corvane::VoiceCode;
using corvane::voiceFileDone;
using corvane::voiceFileQuery;
using corvane::voiceIdentifier;
using corvane::voiceListRequest;
namespace voicemsg = corvane::voicemsg;

// Temporary download file of a link slot's channel: "tmp." + slot + 3 digits.
std::string voiceTempFileName(int slot, int channel);

// Link states; their tab icons: connecting, connected, closed.
enum class VoiceLinkState : int { Starting = 0, Connected = 2, Failed = 3 };
// Its name as written here ("Starting"), for logs and test messages.
const char* voiceLinkStateName(VoiceLinkState s);
std::ostream& operator<<(std::ostream& os, VoiceLinkState s);

// Channel states.
enum class ChannelState : int { Created = 0, Writable = 1, Connecting = 2, Connected = 3, Answered = 4, Failed = 5 };
// Its name as written here ("Created"), for logs and test messages.
const char* channelStateName(ChannelState s);
std::ostream& operator<<(std::ostream& os, ChannelState s);

// What channel 0 has done with the exchange's list of channels.
enum class ChannelListStep : int { Awaited = 0, Received = 1, Applied = 2 };
// Its name as written here ("Awaited"), for logs and test messages.
const char* channelListStepName(ChannelListStep s);
std::ostream& operator<<(std::ostream& os, ChannelListStep s);

// What a voice link needs besides its pane.
struct VoiceLinkSetup {
  DatagramTransportFactory makeSocket;
  VoiceRecordSink* sink = nullptr;
  // The tab label of slot changed (the waiting time during a transfer).
  std::function<void(int slot, const std::string& label)> labelChanged;
};

class VoiceLink;

// One of the link's 32 channels.
struct VoiceChannel : public DatagramEvents {
  VoiceLink* link = nullptr;
  int number = 0;
  std::unique_ptr<DatagramTransport> socket;
  bool socketOpen = false;
  ChannelState state = ChannelState::Created;
  // Created or connecting: the channel fails when not connected after 5 s.
  corvane::TickTimer connectTimeout = corvane::TickTimer::seconds(5);
  // Connected, not answered yet: a request 0.1 s into every 10 s round.
  corvane::TickTimer requestRepeat = corvane::TickTimer::seconds(10);
  // Requests sent since the channel connected (channel 0 asks three times
  // for the channel list, then for files, and gives up after the seventh).
  unsigned requestsSent = 0;
  // Answered, during a transfer: the request is sent again 9.9 s into every
  // 10 s round without an answer...
  corvane::TickTimer transferResend = corvane::TickTimer::seconds(10);
  // ... and the transfer is abandoned after 110 s without one.
  corvane::TickTimer abandon = corvane::TickTimer::seconds(110);
  // Answered, no transfer: after a minute without an answer the channel
  // asks for files again, 0.2 s into every 20 s round...
  corvane::TickTimer quiet = corvane::TickTimer::seconds(60);
  corvane::TickTimer quietQuery = corvane::TickTimer::seconds(20);
  // ... and channel 0 gives up after two minutes.
  corvane::TickTimer giveUp = corvane::TickTimer::seconds(120);
  uint8_t targetAddress[16] = {};
  uint16_t targetPort = 0;
  ChannelListStep channelList = ChannelListStep::Awaited;
  uint32_t sequence = 0;
  bool expecting = false;
  uint32_t expected = 0;
  // The file being fetched (size 0: none).
  uint32_t dateWord = 0;
  uint32_t fileKey = 0;
  uint32_t size = 0;
  uint32_t blocksReceived = 0;
  uint32_t blocksTotal = 0;
  corvane::FilePtr temp;
  bool complete = false;  // renamed and listed, waiting for the answer to "done"
  VoiceRecord record;

  void onDatagram(const uint8_t* data, size_t size) override;
  // Ticks counted by the timers of the current state since they were last
  // restarted (0 while writable or failed).
  unsigned ticks() const;
  // A valid answer arrived (or a transfer was given up): the answered
  // state's timers count again from 0.
  void restartAnswerTimers();
};

class VoiceLink : public Link {
 public:
  VoiceLink(LinkList& owner, const ConnectionTarget& target, int slot, VoiceLinkSetup setup);
  ~VoiceLink() override;

  // Creates the 32 sockets and connects channel 0 to the typed address;
  // false (message shown) when that fails.
  bool open() override;
  // The 100 ms tick of every channel while the link is starting or connected.
  void tick() override;
  int icon() const override;
  // Closes the sockets, the open temporary files and the log.
  void shutdown() override;
  // The host text, during a stalled transfer followed by the waiting time.
  std::string tabLabel() const override { return label_; }

  VoiceLinkState state() const { return state_; }
  const VoiceChannel& channel(int c) const { return channels_[size_t(c)]; }
  bool usesIpv6() const { return ipv6_; }
  // Host-order IPv4 of the exchange; 0 for IPv6.
  uint32_t exchangeIpv4() const;
  // Recordings in place and handed to the store.
  unsigned long filesDone() const { return filesDone_; }
  std::string wavDir() const;
  std::string tempPath(int channel) const;

  // A datagram on channel c (the channels' events land here).
  void handleDatagram(VoiceChannel& ch, const uint8_t* data, size_t size);

 private:
  void setState(VoiceLinkState s);
  void fail(LinkMessage message, const std::string& detail = {});
  void send(VoiceChannel& ch, uint8_t code, const std::string& bytes);
  void sendListRequest(VoiceChannel& ch);
  void sendFileQuery(VoiceChannel& ch);
  void sendBlockRequest(VoiceChannel& ch);
  void sendFileDone(VoiceChannel& ch);
  void channelTick(VoiceChannel& ch);
  void enterState(VoiceChannel& ch, ChannelState s);
  bool connectChannel(VoiceChannel& ch);
  void handleChannelList(VoiceChannel& ch, const uint8_t* d, size_t len);
  void handleOffer(VoiceChannel& ch, const uint8_t* d, size_t len);
  void handleBlock(VoiceChannel& ch, const uint8_t* d, size_t len);
  void handleDone(VoiceChannel& ch);
  void finishFile(VoiceChannel& ch);
  void storeRecording(VoiceChannel& ch);
  void clearTransfer(VoiceChannel& ch);
  void closeTemp(VoiceChannel& ch);
  void setLabel(const std::string& label);

  VoiceLinkSetup setup_;
  std::array<VoiceChannel, kVoiceChannels> channels_;
  VoiceLinkState state_ = VoiceLinkState::Starting;
  bool ipv6_ = false;
  uint8_t address_[16] = {};
  std::string label_;
  unsigned long filesDone_ = 0;
};

// A factory for LinkList that makes voice links with the given setup.
LinkFactory voiceLinkFactory(VoiceLinkSetup setup);

}  // namespace lumarc
