// The selection as named options: every field the CMDR and voice browsers'
// selection form sets, by the long option names of `lumarc-cli report`
// ("--month", "--mode", ...). The command line and the web front end both
// fill a selection through these, so a value means the same, and a wrong one
// is refused with the same reason, wherever it is given. Pure.
#pragma once

#include "common/codepage.h"
#include "lumarc/records/records.h"

#include <cstddef>
#include <string>

namespace lumarc::browse {

// An option that takes a value: its name with the dashes, the form of its
// value, and what it sets.
struct SelectionOption {
  const char* name;
  const char* type;
  const char* help;
};
// An option without a value.
struct SelectionFlag {
  const char* name;
  const char* help;
};

const SelectionOption* selectionOptions(size_t& count);
const SelectionFlag* selectionFlags(size_t& count);
// Whether a name ("--mode") is one of the flags above.
bool isSelectionFlag(const std::string& name);

// Sets the selection field of one option (value empty for a flag); texts
// are taken from UTF-8 into the code page cp. False with the one-line
// reason ("invalid value \"6\" for --mode", "unknown option --colour").
bool applySelectionOption(const std::string& name, const std::string& value, corvane::CodePage cp, TemplateRecord& s,
                          std::string& why);

}  // namespace lumarc::browse
