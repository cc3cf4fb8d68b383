#include "lumarc/alarms/alarm_service.h"

#include <chrono>
#include <memory>

namespace lumarc::alarms {

AlarmService::AlarmService(AlarmServiceSetup setup) : setup_(std::move(setup)) {
  for (const Rule& r : setup_.config.rules) raised_[r.name] = 0;
}

AlarmService::~AlarmService() { stop(); }

void AlarmService::start() {
  if (thread_.joinable()) return;
  open();
  thread_ = std::thread([this] { run(); });
}

bool AlarmService::open() {
  try {
    db_ = std::make_unique<store::Database>(setup_.connection, setup_.codePage);
  } catch (const std::exception& e) {
    problem("cannot open the database: " + store::failureText(e));
    return false;
  }
  evaluator_ = std::make_unique<AlarmEvaluator>(*db_, setup_.config.rules, clock_, setup_.options);
  std::string error;
  if (!evaluator_->prepare(error)) {
    problem("cannot prepare the alarm tables: " + error);
    evaluator_.reset();
    db_.reset();
    return false;
  }
  return true;
}

void AlarmService::wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  wakeUp_.notify_one();
}

void AlarmService::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wakeUp_.notify_one();
  if (thread_.joinable()) thread_.join();
}

std::map<std::string, uint64_t> AlarmService::raisedPerRule() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return raised_;
}

void AlarmService::problem(const std::string& text) {
  // The same trouble again and again (a server that stays away) is
  // reported once.
  if (text == lastProblem_) return;
  lastProblem_ = text;
  setup_.journal(3, "alarms: " + text);
}

void AlarmService::run() {
  AlarmActions actions(setup_.config.mail, setup_.config.program, setup_.journal);
  bool more = true;  // what a stopped collector left is evaluated at once
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!more && !stopping_)
        wakeUp_.wait_for(lock, std::chrono::milliseconds(setup_.idleMilliseconds),
                         [this] { return woken_ || stopping_; });
      woken_ = false;
      if (stopping_) break;
    }
    more = false;
    if (!evaluator_ && !open()) continue;
    Evaluation e = evaluator_->evaluate();
    if (!e.ok) {
      problem("evaluation failed: " + e.error);
      // A new connection next time (the old one may be gone).
      evaluator_.reset();
      db_.reset();
      continue;
    }
    lastProblem_.clear();
    evaluated_ += e.records;
    more = e.more;
    const int64_t now = secondsOf(clock_.now());
    for (const Alarm& a : e.alarms) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++raised_[a.rule];
      }
      if (setup_.raised) setup_.raised(a);
      actions.alarm(a, now);
    }
    actions.tick(now);
  }
  actions.flush();
  evaluator_.reset();
  db_.reset();
}

}  // namespace lumarc::alarms
