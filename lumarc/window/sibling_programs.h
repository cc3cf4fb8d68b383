// The sibling programs the installation call starts once the exchange has
// accepted them: the softphone `Halvern` (with the account the exchange
// was just given) and `Quillet`. Each is looked for beside the lumarc
// executable, then in the working directory, and started detached with an
// argument vector, in the working directory; lumarc does not wait for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumarc::ui {

enum class ProgramStart { Started, Missing, Failed };

class SiblingPrograms {
 public:
  static constexpr const char* kHalvern = "Halvern";
  static constexpr const char* kQuillet = "Quillet";

  // programDir: the folder of the lumarc executable; empty for the running
  // application's.
  explicit SiblingPrograms(std::string workDir, std::string programDir = {});

  // The executable file of that name beside the program, else in the
  // working directory; empty when neither holds one.
  std::string find(std::string_view name) const;

  // Halvern registers with the account "Halvern" and the password (its
  // characters up to the first zero byte, at most 15) at the exchange's
  // address (host order).
  ProgramStart startHalvern(std::string_view password, uint32_t exchange) const;
  ProgramStart startQuillet() const;

  // "-CHalvern", "-UHalvern", "-P<password>", "-I<dotted address>".
  static std::vector<std::string> halvernArguments(std::string_view password, uint32_t exchange);

 private:
  ProgramStart start(std::string_view name, const std::vector<std::string>& arguments) const;

  std::string workDir_;
  std::string programDir_;
};

}  // namespace lumarc::ui
