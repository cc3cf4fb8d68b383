#include "tools/cli/pcap_output.h"

#include "common/fault_seam.h"

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
    if (out_.flushEach_) {
      // The writer goes on whatever happens here; what did not fit is
      // told through write().
      while (!out_.pendingInterfaces_.empty()) {
        if ((out_.failure_ = out_.putWhole(out_.pendingInterfaces_.front()))) return keepOut(bytes);
        out_.pendingInterfaces_.pop_front();
      }
      if ((out_.failure_ = out_.putWhole(bytes))) return keepOut(bytes);
      return true;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), out_.file_) != bytes.size()) return fail();
    return true;
  }

 private:
  // A packet is lost; an interface description is kept for later, as the
  // packets after it name it.
  bool keepOut(std::string_view block) {
    out_.lost_ = true;
    constexpr char kInterfaceDescription[4] = {1, 0, 0, 0};
    if (block.size() >= 4 && block.substr(0, 4) == std::string_view(kInterfaceDescription, 4))
      out_.pendingInterfaces_.emplace_back(block);
    return true;
  }
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
  if (failure_) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", command_.c_str(), path.c_str(), failure_->c_str());
    return false;
  }
  return writer_->ok();
}

void PcapOutput::failed(int error) {
  if (reported_) return;
  reported_ = true;
  std::fprintf(stderr, "%s: cannot write %s: %s\n", command_.c_str(), path_.c_str(),
               std::strerror(error ? error : EIO));
}

std::optional<std::string> PcapOutput::putWhole(std::string_view block) {
  if (auto f = corvane::fault::hit(corvane::fault::Point::FileWrite, path_))
    return f->message.empty() ? std::string(std::strerror(f->errnum)) : f->message;
  const int fd = ::fileno(file_);
  const off_t end = ::lseek(fd, 0, SEEK_END);
  int err = end < 0 ? errno : 0;
  while (err == 0 && !block.empty()) {
    const ssize_t n = ::write(fd, block.data(), block.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    block.remove_prefix(size_t(n));
  }
  if (err == 0) return std::nullopt;
  if (end >= 0) (void)::ftruncate(fd, end);
  return std::string(std::strerror(err));
}

std::optional<std::string> PcapOutput::write(const CaptureSource& source, uint16_t hpidx, uint8_t ptyp,
                                             const MonitorFrame& frame, int64_t micros) {
  if (!writer_) return std::nullopt;
  failure_.reset();
  if (!writer_->write(source, hpidx, ptyp, frame, micros) && !failure_) return std::string(std::strerror(EIO));
  return failure_;
}

bool PcapOutput::close() {
  if (!file_) return true;
  bool ok = writer_ && writer_->ok() && !lost_;
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
