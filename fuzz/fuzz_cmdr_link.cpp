// The CMDR link fed what a TCP peer may send: raw bytes and sealed frames
// in arbitrary splits, interleaved with ticks, peer closes and reconnects,
// against a store that refuses records, whole passes and counter updates as
// the input says, and a "fcmdr.txt" that cannot be written at times (the
// fault seam's file writes, or a folder in its place).
//
// A model of the exchange checks, and traps on a violation:
//  - every record of a whole frame the exchange sent before an "X" is in
//    the store or in "fcmdr.txt" when that "X" goes out;
//  - after a pass in which a record was kept nowhere, the link closes the
//    connection and sends no "X" on it (keep-alive included);
//  - "fcmdr.txt" gets exactly the refused records of a pass, once each, or
//    nothing.
//
// Input: one option byte, then operations (one code byte and its operand
// bytes each); the store takes its decisions from the same bytes, one for
// each pass and one for each record of a pass.
#include "common/fault_seam.h"
#include "fuzz/fuzz_support.h"
#include "lumarc/texts/link_messages.h"
#include "lumarc/texts/texts.h"
#include "lumarc/links/cmdr_line.h"
#include "lumarc/links/cmdr_link.h"
#include "lumarc/links/link_test_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>
#include <sstream>

using namespace lumarc;
using namespace lumarc::testing;

namespace {

const std::string& workDir() {
  static const std::string dir = fuzzing::scratchFolder("cmdr");
  return dir;
}

std::string fcmdrPath() { return workDir() + "/fcmdr.txt"; }
std::string fcmdrAside() { return workDir() + "/fcmdr.aside"; }

using fuzzing::Reader;

[[noreturn]] void violated(const char* what) {
  std::fprintf(stderr, "cmdr link invariant violated: %s\n", what);
  std::fflush(stderr);
  __builtin_trap();
}

// The whole of "fcmdr.txt" (also while a folder stands in its place).
std::string fcmdrText() {
  std::error_code ec;
  std::string path = std::filesystem::is_directory(fcmdrPath(), ec) ? fcmdrAside() : fcmdrPath();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::multiset<std::string> linesOf(const std::string& text) {
  std::multiset<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) violated("fcmdr.txt ends in the middle of a line");
    out.insert(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

// A store that refuses as told. Duplicates are real: a call record whose
// line is already stored is reported as one.
class RefusingSink : public CmdrRecordSink {
 public:
  explicit RefusingSink(Reader& in) : in_(in) {}

  std::multiset<std::string> kept;   // lines of the stored records
  std::vector<std::string> refused;  // lines reported Failed by the last pass
  bool lastPassThrew = false;
  int passes = 0;

  StoreOutcome store(const CmdrRecord&) override { violated("a record stored outside a pass"); }

  std::vector<StoreOutcome> storePass(const std::vector<CmdrRecord>& records) override {
    ++passes;
    refused.clear();
    lastPassThrew = false;
    const uint8_t pass = in_.byte();
    if (pass % 32 == 31) {
      lastPassThrew = true;
      throw std::bad_alloc();
    }
    const bool wholePassRefused = pass % 8 == 7;  // the transaction was lost
    std::vector<StoreOutcome> out;
    std::vector<std::string> added;
    for (const CmdrRecord& r : records) {
      std::string line = cmdrLineText(r);
      StoreOutcome o;
      const uint8_t d = wholePassRefused ? 0 : in_.byte();
      if (wholePassRefused) {
        o.status = StoreOutcome::Status::Failed;
        o.error = "database or disk is full";
      } else if (r.type == "A" && kept.count(line) != 0 && d % 4 != 3) {
        o.status = StoreOutcome::Status::Duplicate;
      } else if (d % 8 == 5 || d % 8 == 6) {
        o.status = StoreOutcome::Status::Failed;
        o.error = "refused row";
      } else {
        o.status = StoreOutcome::Status::Stored;
        if (d % 8 == 7) o.error = "Pdata update failed";
        added.push_back(line);
      }
      if (o.failed()) refused.push_back(line);
      out.push_back(o);
    }
    for (std::string& l : added) kept.insert(std::move(l));
    return out;
  }

 private:
  Reader& in_;
};

// The exchange's side: what it delivered on the current connection since
// its last "X", as the link decodes it.
struct Exchange {
  RefusingSink* sink = nullptr;
  int connection = 0;
  int lostOn = -1;     // connection on which a pass was kept nowhere
  bool ended = false;  // the current connection met a damaged frame
  uint32_t ipv4 = 0;
  std::string stream;  // bytes of a frame not yet whole
  std::vector<std::string> unacknowledged;

  void connectionOpened() {
    ++connection;
    ended = false;
    stream.clear();
    unacknowledged.clear();
  }

  void delivered(const uint8_t* p, size_t n) {
    if (ended) return;
    stream.append(reinterpret_cast<const char*>(p), n);
    while (stream.size() >= kCmdrFrameSize) {
      CmdrFrame f;
      std::memcpy(f.data(), stream.data(), kCmdrFrameSize);
      stream.erase(0, kCmdrFrameSize);
      if (!cmdrCheckWordOk(f) || !cmdrSumOk(f)) {
        ended = true;
        return;
      }
      CmdrRecord r;
      if (!decodeCmdrFrame(f, ipv4, r)) continue;
      std::string line = cmdrLineText(r);
      if (!line.empty()) unacknowledged.push_back(std::move(line));
    }
  }

  void acknowledged() {
    if (lostOn == connection) violated("an X after a pass that was kept nowhere");
    if (ended) violated("an X after a damaged frame");
    std::multiset<std::string> file = linesOf(fcmdrText());
    for (const std::string& l : unacknowledged) {
      if (sink->kept.count(l) == 0 && file.count(l) == 0) {
        std::fprintf(stderr, "record: [%s]\n", l.c_str());
        violated("an X for a record that is neither stored nor in fcmdr.txt");
      }
    }
    unacknowledged.clear();
  }
};

// A socket that, like the real one, delivers nothing after close().
struct Wire {
  FakeNet net;
  Exchange* exchange = nullptr;
  bool open = false;
  bool connected = false;  // the connect result was delivered as success
  StreamEvents* live() const { return open && connected ? net.events : nullptr; }
  // Delivers the one connect result of an open socket.
  void connectResult(bool ok) {
    if (!open || connected) return;
    connected = ok;
    net.events->onConnectResult(ok);
  }
};

class WireSocket : public StreamTransport {
 public:
  WireSocket(Wire& w, StreamEvents& e) : w_(w), inner_(w.net, e) {}
  ~WireSocket() override { w_.open = false; }
  OpenResult open(const std::string& host, uint16_t port) override {
    OpenResult r = inner_.open(host, port);
    w_.open = r.status == OpenResult::Status::Ok;
    w_.connected = false;
    if (w_.open) {
      w_.exchange->connectionOpened();
      std::memcpy(&w_.exchange->ipv4, r.address, 4);
    }
    return r;
  }
  bool send(std::string_view b) override {
    if (!w_.open) violated("a send on a closed socket");
    for (char c : b) {
      if (c == 'X') w_.exchange->acknowledged();
    }
    if (w_.net.sent.size() > 4096) w_.net.sent.clear();
    return inner_.send(b);
  }
  void close() override {
    w_.open = false;
    inner_.close();
  }

 private:
  Wire& w_;
  FakeSocket inner_;
};

// Hands bytes to the link as one receive pass and checks what became of
// the records the store was given in it.
void deliver(Wire& wire, Exchange& ex, RefusingSink& sink, const uint8_t* p, size_t n) {
  StreamEvents* events = wire.live();
  if (!events) return;
  const int passesBefore = sink.passes;
  const std::string before = fcmdrText();
  ex.delivered(p, n);
  events->onBytes(p, n);
  const std::string after = fcmdrText();
  if (after.size() < before.size() || after.compare(0, before.size(), before) != 0)
    violated("fcmdr.txt lost what it held");
  const std::string added = after.substr(before.size());
  if (sink.passes == passesBefore) {
    if (!added.empty()) violated("fcmdr.txt written without a pass");
    return;
  }
  bool keptNowhere = sink.lastPassThrew;
  if (!sink.lastPassThrew) {
    std::string expected;
    for (const std::string& l : sink.refused) expected += l + "\r\n";
    if (added.empty()) {
      keptNowhere = !sink.refused.empty();
    } else if (added != expected) {
      violated("fcmdr.txt does not hold the refused records of the pass exactly once");
    }
  } else if (!added.empty()) {
    violated("fcmdr.txt written for a pass whose store failed");
  }
  if (keptNowhere) {
    ex.lostOn = ex.connection;
    if (wire.open) violated("the connection stays open after a pass that was kept nowhere");
  }
}

// "fcmdr.txt" unwritable for real: a folder takes its place for a while.
void setFcmdrBlocked(bool blocked) {
  std::error_code ec;
  const bool isDir = std::filesystem::is_directory(fcmdrPath(), ec);
  if (blocked && !isDir) {
    if (std::filesystem::exists(fcmdrPath(), ec)) std::filesystem::rename(fcmdrPath(), fcmdrAside(), ec);
    std::filesystem::create_directory(fcmdrPath(), ec);
  } else if (!blocked && isDir) {
    std::filesystem::remove(fcmdrPath(), ec);
    if (std::filesystem::exists(fcmdrAside(), ec)) std::filesystem::rename(fcmdrAside(), fcmdrPath(), ec);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::emptyNowAndThen(workDir(), 2000);
  corvane::fault::disarm();
  {
    std::error_code ec;
    std::filesystem::remove_all(fcmdrPath(), ec);
    std::filesystem::remove(fcmdrAside(), ec);
  }
  Reader in{data, size};
  uint8_t options = in.byte();
  Wire wire;
  Exchange exchange;
  wire.exchange = &exchange;
  FakeNet& net = wire.net;
  RefusingSink sink(in);
  exchange.sink = &sink;
  FakeView view;
  LinkEnvironment env;
  env.workDir = workDir();
  env.messageText = linkMessages((options & 2) ? turkishTexts() : englishTexts());
  env.view = &view;
  env.addToHistory = [](const ConnectionTarget&) {};
  env.now = [] { return std::time_t(1700000000); };
  {
    LinkList list(LinkKind::Cmdr, env,
                  cmdrLinkFactory(
                      [&wire](StreamEvents& e) -> std::unique_ptr<StreamTransport> {
                        return std::make_unique<WireSocket>(wire, e);
                      },
                      sink));
    if (list.openLink("192.168.1.20") != 0) {
      corvane::fault::disarm();
      return 0;
    }
    wire.connectResult(true);
    while (!in.empty()) {
      uint8_t op = in.byte();
      switch (op % 9) {
        case 0: {  // raw bytes
          std::string b = in.take(in.byte());
          deliver(wire, exchange, sink, reinterpret_cast<const uint8_t*>(b.data()), b.size());
          break;
        }
        case 1: {  // one sealed frame, delivered in two parts
          CmdrFrame f{};
          std::string b = in.take(kCmdrFrameSize);
          std::memcpy(f.data(), b.data(), b.size());
          sealCmdrFrame(f);
          size_t cut = in.byte() % (kCmdrFrameSize + 1);
          deliver(wire, exchange, sink, f.data(), cut);
          deliver(wire, exchange, sink, f.data() + cut, kCmdrFrameSize - cut);
          break;
        }
        case 2: {  // ticks, up to past the reconnect wait
          int n = int(in.byte()) * 16;
          for (int i = 0; i < n; ++i) list.tick();
          break;
        }
        case 3:
          if (wire.live()) wire.live()->onPeerClosed();
          break;
        case 4: wire.connectResult(in.byte() & 1); break;
        case 5: {  // the next file writes of "fcmdr.txt" fail, or none
          uint8_t b = in.byte();
          if (b % 4 == 0) {
            corvane::fault::disarm();
          } else {
            corvane::fault::Injected what;
            what.errnum = (b & 4) ? ENOSPC : EIO;
            corvane::fault::arm(corvane::fault::Point::FileWrite, 1 + (b >> 3) % 4, what, b % 4 == 3 ? -1 : b % 4);
          }
          break;
        }
        case 6: net.next.status = (in.byte() & 1) ? OpenResult::Status::Ok : OpenResult::Status::ConnectFailed; break;
        case 7: {  // one to eight sealed frames in one receive pass
          int k = 1 + in.byte() % 8;
          std::string batch;
          for (int i = 0; i < k; ++i) {
            CmdrFrame f{};
            std::string b = in.take(kCmdrFrameSize);
            std::memcpy(f.data(), b.data(), b.size());
            sealCmdrFrame(f);
            batch.append(reinterpret_cast<const char*>(f.data()), f.size());
          }
          deliver(wire, exchange, sink, reinterpret_cast<const uint8_t*>(batch.data()), batch.size());
          break;
        }
        case 8: setFcmdrBlocked(in.byte() & 1); break;
      }
    }
  }
  corvane::fault::disarm();
  setFcmdrBlocked(false);
  return 0;
}
