// The management program's command line.
#include "lumarc/app/command_line.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  lumarc::CommandLine cl = lumarc::parseCommandLine(text);
  if (cl.parameterFile.size() > 259) std::abort();
  if (cl.hasWizardTarget && cl.wizardTarget.size() != 8) std::abort();
  for (const auto& item : cl.links)
    if (item.target.hostText().empty()) std::abort();
  return 0;
}
