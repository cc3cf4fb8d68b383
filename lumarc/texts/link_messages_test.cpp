#include "lumarc/texts/link_messages.h"

#include "lumarc/texts/texts.h"

#include <gtest/gtest.h>

namespace lumarc {
namespace {

TEST(LinkMessages, EveryMessageHasItsEnglishWords) {
  const corvane::StringTable& en = englishTexts();
  EXPECT_EQ(linkMessageText(en, LinkMessage::SocketCreationFault, ""), "Socket creation fault!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::SocketOpeningFault, ""), "Socket opening fault!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::SocketClosedUnexpectedly, ""), "Socket closed unexpectedly!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::SocketConnectionFault, ""), "Socket connection fault!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::ReceivedDataFormatFaulty, ""), "Received data format faulty!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::InsufficientMemory, ""), "Insufficient memory!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::PortAccessCodeNotFound, ""), "Port access code not found!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::ConnectionLimitExceeded, ""), "Connection limit exceeded");
  EXPECT_EQ(linkMessageText(en, LinkMessage::ExchangeRefusedConnection, ""), "Corvane refused connection. Press OK!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::ExchangeStoppedAnswering, ""), "Socket creation fault!");
  EXPECT_EQ(linkMessageText(en, LinkMessage::MailSystemMissing, ""), "Unable to load mail system support.");
  EXPECT_EQ(linkMessageText(en, LinkMessage::MailSendFailed, ""), "Send Mail failed to send message.");
}

TEST(LinkMessages, FileFaultsNameTheFileAndTheCause) {
  const corvane::StringTable& en = englishTexts();
  EXPECT_EQ(linkMessageText(en, LinkMessage::FailedRecordsNotWritable, "No space left on device"),
            "fcmdr.txt File access failed! (No space left on device)");
  EXPECT_EQ(linkMessageText(en, LinkMessage::RecordingNotWritable, "/w/Wav/tmp.0000: Permission denied"),
            "Recording file not writable! (/w/Wav/tmp.0000: Permission denied)");
  EXPECT_EQ(linkMessageText(en, LinkMessage::LogFileNotWritable, "logM00.frm: No space left on device"),
            "logM00.frm File access failed! (No space left on device)");
  EXPECT_EQ(linkMessageText(en, LinkMessage::LogFileWritableAgain, "/w/a: b.pcapng: 12"),
            "/w/a: b.pcapng File access works again! Frames not written: 12");
}

TEST(LinkMessages, TurkishWordsComeFromTheTurkishTable) {
  const corvane::StringTable& tr = turkishTexts();
  EXPECT_EQ(linkMessageText(tr, LinkMessage::RecordingNotWritable, "x: y"),
            tr.text(kTextRecordingNotWritable) + " (x: y)");
  EXPECT_NE(tr.text(kTextRecordingNotWritable), englishTexts().text(kTextRecordingNotWritable));
  EXPECT_EQ(linkMessageText(tr, LinkMessage::LogFileWritableAgain, "logM00.frm: 3"),
            "logM00.frm " + tr.text(kTextFileAccessRestored) + " 3");
  EXPECT_NE(tr.text(kTextFileAccessRestored), englishTexts().text(kTextFileAccessRestored));
  EXPECT_EQ(linkMessages(tr)(LinkMessage::SocketOpeningFault, ""), tr.text(kTextSocketOpeningFault));
}

}  // namespace
}  // namespace lumarc
