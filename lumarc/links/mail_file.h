// Handing a file to the user's mail program as the attachment of a new
// message: the file is copied under the attachment's name into a private
// temporary folder and given to `xdg-email --attach`, started with an
// argument vector (never through a shell).
#pragma once

#include "lumarc/texts/link_message.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumarc {

// Starts a program found on PATH and waits for it.
class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Runs program with args (argv[1..]); the exit status, or -1 when the
  // program could not be found or started, -2 when it died of a signal.
  virtual int run(const std::string& program, const std::vector<std::string>& args) = 0;
};

// The real runner: posix_spawnp, then waitpid.
std::unique_ptr<ProcessRunner> systemProcessRunner();

enum class MailOutcome { Sent, NoMailSystem, SendFailed };

// Mails path as attachment name (e.g. "Monitor.txt"). NoMailSystem when
// xdg-email is missing; SendFailed on a non-zero exit or when the copy
// cannot be made.
MailOutcome mailFile(const std::string& path, const std::string& attachmentName, ProcessRunner& runner);

// The message-bar message of an outcome; none for Sent.
std::optional<LinkMessage> mailOutcomeMessage(MailOutcome outcome);

}  // namespace lumarc
