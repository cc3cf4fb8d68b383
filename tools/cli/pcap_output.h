// The --pcap file of lumarc-cli monitor, collect and decode: the monitor
// records as a pcapng capture Wireshark opens (lumarc/decoder/pcapng.h).
// An existing file is kept unless --force is given.
#pragma once

#include "lumarc/decoder/pcapng.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace lumarc::cli {

class PcapOutput {
 public:
  // command names the command in messages ("lumarc-cli monitor").
  explicit PcapOutput(std::string command);
  ~PcapOutput();
  PcapOutput(const PcapOutput&) = delete;
  PcapOutput& operator=(const PcapOutput&) = delete;

  // Creates the file at path (replaced only when force) and writes the
  // capture's header. False with the reason on standard error. flushEach:
  // every packet reaches the file at once (live sessions).
  bool open(const std::string& path, bool force, bool flushEach);
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // Writes one record; why not, when it could not be written.
  // Live: a packet that does not fit is left out whole and the ones after
  // it are tried again (the caller tells the user); an interface
  // description that did not fit goes in before the next packet that does.
  // Otherwise the first failure is reported on standard error and nothing
  // more is written after it.
  std::optional<std::string> write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame,
                                   int64_t micros);
  // Closes the file; false when any part of it could not be written
  // (reported here unless write() told it).
  bool close();

 private:
  class FileSink;
  void failed(int error);
  // Live: writes all of block or, with the file cut back, none of it.
  std::optional<std::string> putWhole(std::string_view block);

  std::string command_, path_;
  std::FILE* file_ = nullptr;
  bool flushEach_ = false;
  bool reported_ = false;
  // Live: something was left out; why, for the record being written.
  bool lost_ = false;
  std::optional<std::string> failure_;
  std::deque<std::string> pendingInterfaces_;
  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<PcapngWriter> writer_;
};

// The time now, in microseconds since 1970 UTC (a live record's arrival).
int64_t nowMicros();

// The access code of a link as a capture names it: without its blanks.
std::string captureAccessCode(const std::string& accessCodeText);

}  // namespace lumarc::cli
