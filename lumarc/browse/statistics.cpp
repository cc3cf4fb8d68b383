#include "lumarc/browse/statistics.h"

#include "lumarc/records/records.h"

#include <cassert>

namespace lumarc {

namespace {

// clang-format off
constexpr uint32_t kDurationBounds[CallStatistics::kClasses - 1] = {
    5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 180, 240, 300, 360, 420, 480, 540, 600, 900, 1200};

constexpr std::string_view kHourLabels[CallStatistics::kClasses] = {
    "00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11",
    "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23"};
// "20" to "50" carry no "s": the chart has always shown them so.
constexpr std::string_view kDurationLabels[CallStatistics::kClasses] = {
    "5s", "10s", "20", "30", "40", "50", "60s", "70s", "80s", "90s", "100s", "110s",
    "2m", "3m", "4m", "5m", "6m", "7m", "8m", "9m", "10m", "15m", "20m", ">20m"};
constexpr std::string_view kPulseLabels[CallStatistics::kClasses] = {
    "00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11",
    "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", ">22"};
// clang-format on

bool inClasses(int i) { return i >= 0 && i < CallStatistics::kClasses; }

}  // namespace

int durationClass(uint32_t seconds) {
  for (int i = 0; i < CallStatistics::kClasses - 1; ++i)
    if (seconds <= kDurationBounds[i]) return i;
  return CallStatistics::kClasses - 1;
}

int pulseClass(uint64_t pulses) { return pulses >= 23 ? 23 : static_cast<int>(pulses); }

int voiceHour(uint32_t bcdTime) {
  return static_cast<int>((bcdTime >> 20) & 0xF) * 10 + static_cast<int>((bcdTime >> 16) & 0xF);
}

int weekDay(int year, int month, int day) {
  // Days since 1970-01-01 (a Thursday), by the civil-calendar count.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468;
  const long w = (days + 4) % 7;
  return static_cast<int>(w < 0 ? w + 7 : w);
}

bool CallStatistics::add(const CmdrRecord& r) {
  const int h = r.tdate.isNull() ? -1 : r.tdate.hour;
  const int d = durationClass(r.duration);
  const int p = pulseClass(uint64_t{r.rpuls} + r.ppuls);
  if (!inClasses(h) || !inClasses(d) || !inClasses(p)) return false;
  ++count;
  hours[h] += 1;
  durations[d] += 1;
  pulses[p] += 1;
  if (r.tdate.month >= 1 && r.tdate.month <= 12 && r.tdate.day >= 1)
    weekDays[weekDay(r.tdate.year, r.tdate.month, r.tdate.day)] += 1;
  return true;
}

bool CallStatistics::add(const VoiceRecord& r) {
  const int h = voiceHour(r.rcdtime);
  const int d = durationClass(r.duration);
  if (!inClasses(h) || !inClasses(d)) return false;
  ++count;
  hours[h] += 1;
  durations[d] += 1;
  return true;
}

std::string_view hourLabel(int i) {
  assert(inClasses(i));
  return kHourLabels[i];
}
std::string_view durationLabel(int i) {
  assert(inClasses(i));
  return kDurationLabels[i];
}
std::string_view pulseLabel(int i) {
  assert(inClasses(i));
  return kPulseLabels[i];
}

}  // namespace lumarc
