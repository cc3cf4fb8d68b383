// The fixed-column text line of a CMDR record, long and short, and the money
// amount text of the short line and the browser's totals. Pure functions.
#pragma once

#include "lumarc/records/records.h"

#include <functional>
#include <string>

namespace lumarc {

enum class LineFormat { Long, Short };

// Which digit columns show the caller's number-to-name replacement.
enum class DigitReplacement { None, Dialled, Calling, Both };

struct LineOptions {
  LineFormat format = LineFormat::Long;
  DigitReplacement replacement = DigitReplacement::None;
  // The text shown for a digit column (calling = the calling-number column);
  // only called when the replacement covers that column.
  std::function<std::string(const std::string& digits, bool calling)> replace;
  // Short line only: the amounts (the caller's price) and the acknowledged mark.
  double externalAmount = 0;
  double internalAmount = 0;
  bool acknowledged = false;
};

// The record's line in the requested format; empty when the record has no
// line in it (short format for types other than A, unknown types).
std::string cmdrLineText(const CmdrRecord& record, const LineOptions& options = {});

// A money amount in exactly w + 4 characters: rounded to three decimals,
// decimals dropped while the integer part is too long, sign or blank in
// front, right-aligned; w + 4 asterisks when it cannot fit.
std::string amountText(double value, int w);

// The call kind text of a flags value (its low byte); 6 blanks when unknown.
std::string callKindText(uint32_t flags);

// "YYYY/MM/DD HH:MM:SS".
std::string recordDateText(const DateTime& t);

}  // namespace lumarc
