#include "lumarc/links/mail_file.h"

#include "common/files.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace lumarc {

namespace {
class SpawnRunner : public ProcessRunner {
 public:
  int run(const std::string& program, const std::vector<std::string>& args) override {
    std::vector<std::string> all;
    all.push_back(program);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) {
      // posix_spawnp reports a missing program through exit status 127.
      return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
    }
    return -2;
  }
};

std::string tempBase() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

// Copies source to dir/name; false when it cannot be read or written.
bool copyAs(const std::string& source, const std::string& target) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return false;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << in.rdbuf();
  out.flush();
  return bool(out);
}
}  // namespace

std::unique_ptr<ProcessRunner> systemProcessRunner() { return std::make_unique<SpawnRunner>(); }

MailOutcome mailFile(const std::string& path, const std::string& attachmentName, ProcessRunner& runner) {
  std::string pattern = corvane::joinPath(tempBase(), "lumarc-mail-XXXXXX");
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) return MailOutcome::SendFailed;
  std::string dir(buffer.data());
  std::string copy = corvane::joinPath(dir, attachmentName);
  if (!copyAs(path, copy)) {
    ::unlink(copy.c_str());
    ::rmdir(dir.c_str());
    return MailOutcome::SendFailed;
  }
  ::chmod(copy.c_str(), 0600);
  // The mail program may read the attachment after xdg-email has returned,
  // so the copy stays in its private folder.
  int status = runner.run("xdg-email", {"--attach", copy});
  if (status == -1) {
    ::unlink(copy.c_str());
    ::rmdir(dir.c_str());
    return MailOutcome::NoMailSystem;
  }
  return status == 0 ? MailOutcome::Sent : MailOutcome::SendFailed;
}

std::optional<LinkMessage> mailOutcomeMessage(MailOutcome outcome) {
  switch (outcome) {
    case MailOutcome::Sent: return std::nullopt;
    case MailOutcome::NoMailSystem: return LinkMessage::MailSystemMissing;
    case MailOutcome::SendFailed: return LinkMessage::MailSendFailed;
  }
  return std::nullopt;
}

}  // namespace lumarc
