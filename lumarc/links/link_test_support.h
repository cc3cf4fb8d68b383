// Fakes shared by the link tests: a socket that records what the engine
// does, a record sink with selectable outcomes, and a pane that records
// what it was told.
#pragma once

#include "common/test_support.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/link.h"

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace lumarc::testing {

struct FakeNet {
  OpenResult next;  // what the next open() returns
  int opens = 0;
  int closes = 0;
  std::string sent;
  std::string host;
  uint16_t port = 0;
  StreamEvents* events = nullptr;
  FakeNet() {
    next.status = OpenResult::Status::Ok;
    uint32_t a = 0xC0A80114;  // 192.168.1.20
    std::memcpy(next.address, &a, 4);
  }
};

class FakeSocket : public StreamTransport {
 public:
  FakeSocket(FakeNet& net, StreamEvents& events) : net_(net) { net_.events = &events; }
  OpenResult open(const std::string& host, uint16_t port) override {
    ++net_.opens;
    net_.host = host;
    net_.port = port;
    return net_.next;
  }
  bool send(std::string_view b) override {
    net_.sent += b;
    return true;
  }
  void close() override { ++net_.closes; }

 private:
  FakeNet& net_;
};

inline StreamTransportFactory fakeSockets(FakeNet& net) {
  return [&net](StreamEvents& e) -> std::unique_ptr<StreamTransport> { return std::make_unique<FakeSocket>(net, e); };
}

class FakeSink : public CmdrRecordSink {
 public:
  enum class Mode { Store, Fail, CountersFail, OutOfMemory };
  Mode mode = Mode::Store;
  std::vector<CmdrRecord> stored;
  int calls = 0;
  StoreOutcome store(const CmdrRecord& r) override {
    ++calls;
    StoreOutcome o;
    switch (mode) {
      case Mode::Store:
        stored.push_back(r);
        o.status = StoreOutcome::Status::Stored;
        break;
      case Mode::Fail:
        o.status = StoreOutcome::Status::Failed;
        o.error = "disk I/O error";
        break;
      case Mode::CountersFail:
        stored.push_back(r);
        o.status = StoreOutcome::Status::Stored;
        o.error = "Pdata update failed";
        break;
      case Mode::OutOfMemory: throw std::bad_alloc();
    }
    return o;
  }
};

class FakeView : public PaneView {
 public:
  std::string caption;
  std::vector<std::string> captions;  // every non-empty one
  std::map<int, std::string> tabs;
  std::map<int, int> icons;
  std::map<int, std::vector<std::string>> lines;
  int historyChanges = 0;
  void setCaptionMessage(const std::string& t) override {
    caption = t;
    if (!t.empty()) captions.push_back(t);
  }
  void tabAdded(int slot, const std::string& label) override { tabs[slot] = label; }
  void tabRemoved(int slot) override {
    tabs.erase(slot);
    icons.erase(slot);
  }
  void tabIcon(int slot, int icon) override { icons[slot] = icon; }
  void lineAppended(int slot, const std::string& line, bool dropFirst) override {
    auto& l = lines[slot];
    if (dropFirst && !l.empty()) l.erase(l.begin());
    l.push_back(line);
  }
  void historyChanged() override { ++historyChanges; }
};

// A fresh folder removed at the end, and a whole file's bytes.
using corvane::testing::readAll;
using corvane::testing::TempDir;

}  // namespace lumarc::testing
