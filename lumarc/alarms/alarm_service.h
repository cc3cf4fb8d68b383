// The alarms of a running collector: a thread with a database connection
// of its own evaluates the stored records after their commit (woken when a
// pass stored records, and every second for the silence rules and the
// records other collectors stored), writes the alarms and acts on them.
// The receive path never waits for it: an alarm never delays an
// acknowledgement, and no failure here ever refuses a record.
#pragma once

#include "lumarc/alarms/alarm_actions.h"
#include "lumarc/alarms/alarm_store.h"

#include "common/codepage.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace lumarc::alarms {

struct AlarmServiceSetup {
  AlarmConfig config;
  std::string connection;  // the main database's ODBC connection string
  corvane::CodePage codePage = corvane::CodePage::Cp1252;
  JournalWriter journal = standardErrorJournal();
  EvaluatorOptions options;
  int idleMilliseconds = 1000;  // between evaluations when nothing wakes it
  // Told of each alarm once it is committed, on the service's thread, before
  // its actions (may be empty): a window shows it.
  std::function<void(const Alarm&)> raised;
};

class AlarmService {
 public:
  explicit AlarmService(AlarmServiceSetup setup);
  ~AlarmService();
  AlarmService(const AlarmService&) = delete;
  AlarmService& operator=(const AlarmService&) = delete;

  // Opens the connection and the mark here and now (so that records stored
  // from here on are evaluated: a new mark starts at the newest record),
  // then starts the thread; a database that cannot be opened now is tried
  // again from the thread.
  void start();
  // Records were stored: evaluate soon.
  void wake();
  // Ends the thread after the evaluation under way; waiting mails are sent.
  void stop();

  // Alarms raised per rule (every rule of the file, from 0).
  std::map<std::string, uint64_t> raisedPerRule() const;
  // Records evaluated so far.
  uint64_t recordsEvaluated() const { return evaluated_.load(); }

 private:
  void run();
  bool open();
  void problem(const std::string& text);

  AlarmServiceSetup setup_;
  mutable std::mutex mutex_;
  std::condition_variable wakeUp_;
  bool woken_ = false, stopping_ = false;
  std::map<std::string, uint64_t> raised_;
  std::atomic<uint64_t> evaluated_{0};
  std::string lastProblem_;
  SystemClock clock_;
  std::unique_ptr<store::Database> db_;
  std::unique_ptr<AlarmEvaluator> evaluator_;
  std::thread thread_;
};

}  // namespace lumarc::alarms
