#include "lumarc/texts/link_messages.h"

#include "lumarc/texts/texts.h"

namespace lumarc {

const char* linkMessageName(LinkMessage m) {
  switch (m) {
    case LinkMessage::SocketCreationFault: return "SocketCreationFault";
    case LinkMessage::SocketOpeningFault: return "SocketOpeningFault";
    case LinkMessage::SocketClosedUnexpectedly: return "SocketClosedUnexpectedly";
    case LinkMessage::SocketConnectionFault: return "SocketConnectionFault";
    case LinkMessage::ReceivedDataFormatFaulty: return "ReceivedDataFormatFaulty";
    case LinkMessage::InsufficientMemory: return "InsufficientMemory";
    case LinkMessage::PortAccessCodeNotFound: return "PortAccessCodeNotFound";
    case LinkMessage::ConnectionLimitExceeded: return "ConnectionLimitExceeded";
    case LinkMessage::ExchangeRefusedConnection: return "ExchangeRefusedConnection";
    case LinkMessage::ExchangeStoppedAnswering: return "ExchangeStoppedAnswering";
    case LinkMessage::RecordingNotWritable: return "RecordingNotWritable";
    case LinkMessage::FailedRecordsNotWritable: return "FailedRecordsNotWritable";
    case LinkMessage::LogFileNotWritable: return "LogFileNotWritable";
    case LinkMessage::LogFileWritableAgain: return "LogFileWritableAgain";
    case LinkMessage::MailSystemMissing: return "MailSystemMissing";
    case LinkMessage::MailSendFailed: return "MailSendFailed";
  }
  return "LinkMessage";
}

std::string linkMessageText(const corvane::StringTable& texts, LinkMessage m, const std::string& detail) {
  switch (m) {
    case LinkMessage::SocketCreationFault: return texts.text(kTextSocketCreationFault);
    case LinkMessage::SocketOpeningFault: return texts.text(kTextSocketOpeningFault);
    case LinkMessage::SocketClosedUnexpectedly: return texts.text(kTextSocketClosedUnexpectedly);
    case LinkMessage::SocketConnectionFault: return texts.text(kTextSocketConnectionFault);
    case LinkMessage::ReceivedDataFormatFaulty: return texts.text(kTextReceivedDataFormatFaulty);
    case LinkMessage::InsufficientMemory: return texts.text(kTextInsufficientMemory);
    case LinkMessage::PortAccessCodeNotFound: return texts.text(kTextPortAccessCodeNotFound);
    case LinkMessage::ConnectionLimitExceeded: return texts.text(kTextConnectionLimitExceeded);
    case LinkMessage::ExchangeRefusedConnection: return texts.text(kTextCorvaneRefusedConnection);
    // The program has always shown a silent exchange this way.
    case LinkMessage::ExchangeStoppedAnswering: return texts.text(kTextSocketCreationFault);
    case LinkMessage::RecordingNotWritable: return texts.text(kTextRecordingNotWritable) + " (" + detail + ")";
    case LinkMessage::FailedRecordsNotWritable:
      return std::string(kFailedRecordsFile) + " " + texts.text(kTextFileAccessFailed) + " (" + detail + ")";
    case LinkMessage::LogFileNotWritable:
    case LinkMessage::LogFileWritableAgain: {
      // "<file>: <cause or count>"; the file's name may hold ": " itself.
      const size_t colon = detail.rfind(": ");
      const std::string file = colon == std::string::npos ? detail : detail.substr(0, colon);
      const std::string rest = colon == std::string::npos ? std::string() : detail.substr(colon + 2);
      if (m == LinkMessage::LogFileNotWritable)
        return file + " " + texts.text(kTextFileAccessFailed) + " (" + rest + ")";
      return file + " " + texts.text(kTextFileAccessRestored) + " " + rest;
    }
    case LinkMessage::MailSystemMissing: return texts.text(kTextUnableToLoadMail);
    case LinkMessage::MailSendFailed: return texts.text(kTextSendMailFailed);
  }
  return detail;
}

LinkMessageText linkMessages(const corvane::StringTable& texts) {
  return [&texts](LinkMessage m, const std::string& detail) { return linkMessageText(texts, m, detail); };
}

}  // namespace lumarc
