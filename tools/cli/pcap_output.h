// The --pcap file of lumarc-cli monitor, collect and decode: the monitor
// records as a pcapng capture Wireshark opens (lumarc/decoder/pcapng.h).
// An existing file is kept unless --force is given.
#pragma once

#include "lumarc/decoder/pcapng.h"

#include <cstdint>
#include <cstdio>
#include <memory>
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
  // Writes one record. The first failure is reported on standard error;
  // nothing more is written after it.
  void write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame, int64_t micros);
  // Closes the file; false (reported) when any part of it could not be written.
  bool close();

 private:
  class FileSink;
  void failed(int error);

  std::string command_, path_;
  std::FILE* file_ = nullptr;
  bool flushEach_ = false;
  bool reported_ = false;
  std::unique_ptr<FileSink> sink_;
  std::unique_ptr<PcapngWriter> writer_;
};

// The time now, in microseconds since 1970 UTC (a live record's arrival).
int64_t nowMicros();

// The access code of a link as a capture names it: without its blanks.
std::string captureAccessCode(const std::string& accessCodeText);

}  // namespace lumarc::cli
