// The call statistics of a listing: how many calls were listed and how they
// spread over the hours of the day, duration classes, charge pulse classes
// and the days of the week. A browser clears the block when a listing
// starts and adds every listed call; the chart view draws a copy of it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace corvane {
struct Recording;
}

namespace lumarc {

// Kept to declarations: Qt's moc reads this header before Qt's own in some
// view headers and cannot parse the standard headers the records need.
struct CmdrRecord;
using VoiceRecord = corvane::Recording;

struct CallStatistics {
  static constexpr int kClasses = 24;
  static constexpr int kWeekDays = 7;

  int32_t count = 0;                         // records counted
  std::array<double, kClasses> hours{};      // per hour 0-23
  std::array<double, kClasses> durations{};  // per duration class
  std::array<double, kClasses> pulses{};     // per charge pulse class (CMDR only)
  std::array<double, kWeekDays> weekDays{};  // Sunday first (CMDR only, not charted)

  void clear() { *this = CallStatistics{}; }

  // Counts a listed CMDR record: hour of tdate, duration, rpuls + ppuls and
  // the day of week. Returns false (nothing counted) when its hour, duration
  // class or pulse class falls outside the arrays (a NULL or broken date).
  bool add(const CmdrRecord& r);
  // Counts a listed recording: the hour digits of rcdtime (BCD HHMMSS) and
  // the duration. Returns false (nothing counted) for an hour outside 0-23.
  bool add(const VoiceRecord& r);
};

// The duration class of a call of that many seconds: upper bounds 5, 10, 20,
// ..., 120, 180, ..., 600, 900, 1200 inclusive; 23 above 1200 s.
int durationClass(uint32_t seconds);
// The charge pulse class: the pulse count, 23 for 23 or more.
int pulseClass(uint64_t pulses);
// The hour of a BCD HHMMSS time: digit 5 x 10 + digit 4 (not range-checked).
int voiceHour(uint32_t bcdTime);
// Day of week of a civil date, 0 = Sunday.
int weekDay(int year, int month, int day);

// Axis labels of the three charts (24 each).
std::string_view hourLabel(int i);
std::string_view durationLabel(int i);
std::string_view pulseLabel(int i);

}  // namespace lumarc
