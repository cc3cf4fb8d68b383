// Fault seam: lets tests make the Nth statement, commit or file write fail
// with a chosen error, so that every storage failure path runs in a test.
// Disarmed (the default) it costs one relaxed atomic load per point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::fault {

enum class Point {
  Statement,  // a prepared or direct SQL statement is executed
  Commit,     // a transaction is committed
  FileWrite,  // a store file ("fcmdr.txt") is written
};

// What the failing operation reports.
struct Injected {
  std::string sqlState = "HY000";  // the driver's SQL state (Statement, Commit)
  std::string message;             // the driver's text, or empty for strerror(errnum)
  int native = 0;                  // the driver's native error code
  int errnum = 0;                  // FileWrite: the errno reported
  // Statement: the database loses the whole transaction as well, as SQLite
  // does on a full disk.
  bool endsTransaction = false;
  // Only operations whose text (the SQL, the file's path) holds this count
  // and fail; empty: every one.
  std::string only;
};

// From now on, the `nth` operation at `point` (1 = the next one) fails, and
// so do the `times - 1` after it (times < 0: every one from then on).
void arm(Point point, int nth, Injected what, int times = 1);
// Each operation at `point` fails with probability 1/oneIn (a seeded,
// repeatable sequence).
void armRandom(Point point, uint32_t oneIn, uint32_t seed, Injected what);
void disarm();
// Operations seen at `point` since the last arm/disarm.
uint64_t seen(Point point);

// Called by the seam points: the fault to report for this operation, if any.
// `text` is the statement's SQL or the file's path.
std::optional<Injected> hit(Point point, std::string_view text = {});

// Disarms when it goes out of scope.
struct Guard {
  Guard() = default;
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  ~Guard() { disarm(); }
};

}  // namespace corvane::fault
