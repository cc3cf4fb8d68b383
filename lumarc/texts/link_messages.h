// The links' messages put into the program's words, for the window, the
// message bar and lumarc-cli alike.
#pragma once

#include "common/string_table.h"
#include "lumarc/texts/link_message.h"

#include <string>

namespace lumarc {

// The message line for a link's message: the numbered text, with the file's
// name before it or the detail after it in brackets where it has one.
std::string linkMessageText(const corvane::StringTable& texts, LinkMessage m, const std::string& detail);

// The words of LinkEnvironment::messageText in the given texts; the table
// must outlive the function.
LinkMessageText linkMessages(const corvane::StringTable& texts);

}  // namespace lumarc
