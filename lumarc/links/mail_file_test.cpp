// Mailing a file through a fake `xdg-email` found on PATH.
#include "lumarc/links/mail_file.h"

#include "lumarc/links/link_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace lumarc {
namespace {

using lumarc::testing::readAll;
using lumarc::testing::TempDir;

void writeFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), mode);
}

// Puts a fake xdg-email (or none) first and alone on PATH for one test.
class FakeMailer {
 public:
  explicit FakeMailer(int exitStatus, bool present = true) {
    const char* old = std::getenv("PATH");
    oldPath_ = old ? old : "";
    if (present) {
      // Records its arguments one per line and keeps a copy of the attachment.
      writeFile(bin_.path() + "/xdg-email",
                "#!/bin/sh\n"
                "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                    bin_.path() +
                    "/args'\n"
                    "/bin/cp \"$2\" '" +
                    bin_.path() +
                    "/attached'\n"
                    "exit " +
                    std::to_string(exitStatus) + "\n",
                0755);
    }
    ::setenv("PATH", bin_.path().c_str(), 1);
    const char* tmp = std::getenv("TMPDIR");
    oldTmp_ = tmp ? std::optional<std::string>(tmp) : std::nullopt;
    ::setenv("TMPDIR", copies_.path().c_str(), 1);
  }
  ~FakeMailer() {
    ::setenv("PATH", oldPath_.c_str(), 1);
    if (oldTmp_) {
      ::setenv("TMPDIR", oldTmp_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  std::string args() const { return readAll(bin_.path() + "/args"); }
  std::string attached() const { return readAll(bin_.path() + "/attached"); }

 private:
  TempDir bin_;
  TempDir copies_;
  std::string oldPath_;
  std::optional<std::string> oldTmp_;
};

TEST(MailFile, LogIsAttachedUnderItsMailName) {
  TempDir dir;
  std::string log = dir.path() + "/logM00.txt";
  writeFile(log, "header\r\nline \xE7\r\n");
  FakeMailer mailer(0);
  auto runner = systemProcessRunner();
  EXPECT_EQ(mailFile(log, "Monitor.txt", *runner), MailOutcome::Sent);
  std::string args = mailer.args();
  ASSERT_EQ(args.rfind("--attach\n", 0), 0u) << args;
  std::string attachment = args.substr(9, args.size() - 10);
  EXPECT_EQ(attachment.substr(attachment.size() - 12), "/Monitor.txt");
  EXPECT_EQ(mailer.attached(), "header\r\nline \xE7\r\n") << "bytes unchanged";
  struct stat st {};
  ASSERT_EQ(::stat(attachment.substr(0, attachment.size() - 12).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the copy sits in a private folder";
}

TEST(MailFile, OddFileNamesReachTheMailerAsOneArgument) {
  TempDir dir;
  std::string log = dir.path() + "/a b;$(touch x)'.txt";
  writeFile(log, "text");
  FakeMailer mailer(0);
  auto runner = systemProcessRunner();
  EXPECT_EQ(mailFile(log, "Report.txt", *runner), MailOutcome::Sent);
  EXPECT_EQ(mailer.attached(), "text");
}

TEST(MailFile, MissingMailerSaysUnableToLoadMailSupport) {
  TempDir dir;
  std::string log = dir.path() + "/logM00.txt";
  writeFile(log, "x");
  FakeMailer mailer(0, false);
  auto runner = systemProcessRunner();
  EXPECT_EQ(mailFile(log, "Monitor.txt", *runner), MailOutcome::NoMailSystem);
  EXPECT_EQ(mailOutcomeMessage(MailOutcome::NoMailSystem), LinkMessage::MailSystemMissing);
}

TEST(MailFile, MailerErrorSaysSendMailFailed) {
  for (int status : {1, 2, 126}) {
    TempDir dir;
    std::string log = dir.path() + "/logM00.txt";
    writeFile(log, "x");
    FakeMailer mailer(status);
    auto runner = systemProcessRunner();
    EXPECT_EQ(mailFile(log, "Monitor.txt", *runner), MailOutcome::SendFailed) << status;
  }
  EXPECT_EQ(mailOutcomeMessage(MailOutcome::SendFailed), LinkMessage::MailSendFailed);
  EXPECT_EQ(mailOutcomeMessage(MailOutcome::Sent), std::nullopt);
}

TEST(MailFile, UnreadableLogIsNotMailed) {
  TempDir dir;
  FakeMailer mailer(0);
  auto runner = systemProcessRunner();
  EXPECT_EQ(mailFile(dir.path() + "/gone.txt", "Monitor.txt", *runner), MailOutcome::SendFailed);
  EXPECT_EQ(mailer.args(), "") << "the mailer was not started";
}

}  // namespace
}  // namespace lumarc
