#include "tools/cli/pcap_output.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace lumarc::cli {

class PcapOutput::FileSink : public CaptureSink {
 public:
  explicit FileSink(PcapOutput& out) : out_(out) {}
  bool write(std::string_view bytes) override {
    if (std::fwrite(bytes.data(), 1, bytes.size(), out_.file_) != bytes.size()) return fail();
    if (out_.flushEach_ && std::fflush(out_.file_) != 0) return fail();
    return true;
  }

 private:
  bool fail() {
    out_.failed(errno);
    return false;
  }
  PcapOutput& out_;
};

PcapOutput::PcapOutput(std::string command) : command_(std::move(command)) {}

PcapOutput::~PcapOutput() {
  if (file_) std::fclose(file_);
}

bool PcapOutput::open(const std::string& path, bool force, bool flushEach) {
  path_ = path;
  flushEach_ = flushEach;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (force ? O_TRUNC : O_EXCL);
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) {
    if (errno == EEXIST)
      std::fprintf(stderr, "%s: %s exists (--force replaces it)\n", command_.c_str(), path.c_str());
    else
      std::fprintf(stderr, "%s: cannot create %s: %s\n", command_.c_str(), path.c_str(), std::strerror(errno));
    return false;
  }
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", command_.c_str(), path.c_str(), std::strerror(errno));
    ::close(fd);
    return false;
  }
  sink_ = std::make_unique<FileSink>(*this);
  writer_ = std::make_unique<PcapngWriter>(*sink_, "lumarc-cli");
  return writer_->ok();
}

void PcapOutput::failed(int error) {
  if (reported_) return;
  reported_ = true;
  std::fprintf(stderr, "%s: cannot write %s: %s\n", command_.c_str(), path_.c_str(),
               std::strerror(error ? error : EIO));
}

void PcapOutput::write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp, const MonitorFrame& frame,
                       int64_t micros) {
  if (writer_) writer_->write(source, hpidx, ptyp, frame, micros);
}

bool PcapOutput::close() {
  if (!file_) return true;
  bool ok = writer_ && writer_->ok();
  errno = 0;
  if (std::fflush(file_) != 0) {
    failed(errno);
    ok = false;
  }
  if (std::fclose(file_) != 0) {
    failed(errno);
    ok = false;
  }
  file_ = nullptr;
  return ok;
}

int64_t nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string captureAccessCode(const std::string& accessCodeText) {
  std::string code;
  for (char c : accessCodeText)
    if (c != ' ') code += c;
  return code;
}

}  // namespace lumarc::cli
