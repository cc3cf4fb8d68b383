// What a link tells its pane's message bar, as a meaning: the program puts
// it into words in the user's language (LinkEnvironment::messageText).
#pragma once

#include <functional>
#include <string>

namespace lumarc {

enum class LinkMessage {
  // clang-format off
  SocketCreationFault,       // the socket could not be made
  SocketOpeningFault,        // the address did not resolve, or the connection was refused
  SocketClosedUnexpectedly,  // the exchange closed the connection
  SocketConnectionFault,     // the exchange never answered the link's requests
  ReceivedDataFormatFaulty,  // the exchange sent bytes that are no valid frame
  InsufficientMemory,        // memory ran out while handling received data
  PortAccessCodeNotFound,    // the exchange does not know the monitor access code
  ConnectionLimitExceeded,   // every slot of the pane is in use
  ExchangeRefusedConnection, // the exchange refused the monitor login
  ExchangeStoppedAnswering,  // a voice link's first channel went unanswered for two minutes
  RecordingNotWritable,      // detail: "<file>: <cause>"
  FailedRecordsNotWritable,  // "fcmdr.txt" took no records; detail: the cause
  LogFileNotWritable,        // a monitor log file took no frame; detail: "<file>: <cause>"
  LogFileWritableAgain,      // it takes frames again; detail: "<file>: <frames not written>"
  MailSystemMissing,         // no mail program to hand a file to
  MailSendFailed,            // the mail program failed
};
// clang-format on

// The file in the working directory that keeps the call records the
// database refused.
constexpr const char* kFailedRecordsFile = "fcmdr.txt";

// Puts a message and its detail (a file name, a cause; often empty) into
// words.
using LinkMessageText = std::function<std::string(LinkMessage, const std::string& detail)>;

// The message's name as it stands in the code ("SocketCreationFault"), for
// a link whose environment has no words for it.
const char* linkMessageName(LinkMessage m);

}  // namespace lumarc
