#include "halvern/ui/headless.h"

#include "common/codepage.h"
#include "halvern/keyset_keys.h"
#include "halvern/tarnet.h"
#include "halvern/texts.h"
#include "halvern/ui/keyset_core.h"
#include "halvern/ui/recording_service.h"

#include <QSocketNotifier>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace halvern::ui {

namespace {

// Display bytes as shown: control bytes blank, then through the code page.
std::string shownText(std::string_view bytes, int language) {
  std::string b(bytes);
  for (char& c : b) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return corvane::toUtf8(b, languageOf(language));
}

std::string trimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool registered(LinkState s) { return s == LinkState::Synchronizing || s == LinkState::Running; }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// Decodes UTF-8 into code points; a broken sequence gives U+FFFD.
std::vector<char32_t> codePoints(std::string_view s) {
  std::vector<char32_t> out;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    char32_t c = b;
    if (b >= 0x80) {
      if ((b >> 5) == 6)
        n = 1, c = b & 0x1F;
      else if ((b >> 4) == 14)
        n = 2, c = b & 0x0F;
      else if ((b >> 3) == 30)
        n = 3, c = b & 0x07;
      else
        n = 99;
    }
    bool ok = n < 99 && i + n < s.size();
    for (std::size_t k = 1; ok && k <= n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    out.push_back(ok ? c : char32_t(0xFFFD));
    i += ok ? n + 1 : 1;
  }
  return out;
}

}  // namespace

std::string extensionDigits(std::uint32_t packed) {
  std::string out;
  for (int shift = 28; shift >= 0; shift -= 4) {
    const unsigned nibble = (packed >> shift) & 0xF;
    if (nibble <= 9) out += char('0' + nibble);
  }
  return out;
}

std::vector<std::string> HeadlessPrinter::update(const KeysetSnapshot& s) {
  std::vector<std::string> events;
  const KeysetSnapshot* prev = last_ ? &*last_ : nullptr;

  const bool wasRegistered = prev && registered(prev->state);
  if (registered(s.state) && (!wasRegistered || prev->terminalId != s.terminalId || prev->extension != s.extension ||
                              prev->exchangeName != s.exchangeName)) {
    std::string name = s.exchangeName.substr(0, s.exchangeName.find('\0'));
    events.push_back("registered " + std::to_string(s.terminalId) + " " + extensionDigits(s.extension) + " \"" +
                     trimRight(shownText(name, language_)) + "\"");
  }
  if (!prev || prev->state != s.state) events.push_back(std::string("state ") + linkStateName(s.state));
  if (s.state == LinkState::Running && (!prev || prev->state != LinkState::Running)) events.push_back("link ready");
  if (prev && ((s.linkFailure && !prev->linkFailure) ||
               (prev->state == LinkState::Running && s.state == LinkState::Registering && !prev->linkFailure)))
    events.push_back("link failure");

  const std::string refusedLine(statusText(StatusText::Refused));
  auto paddedLine = [](std::string_view t) {
    std::string l(t.substr(0, kDisplayColumns));
    l.resize(kDisplayColumns, ' ');
    return l;
  };
  if (s.displayLine(6) == paddedLine(refusedLine) &&
      (!prev || prev->displayLine(6) != s.displayLine(6) || prev->displayLine(7) != s.displayLine(7)))
    events.push_back("refused \"" + trimRight(shownText(s.displayLine(7), language_)) + "\"");

  if (s.socketFault && (!prev || !prev->socketFault)) events.push_back("socket fault");

  for (int line = 0; line < kDisplayLines; ++line) {
    const std::string now = s.displayLine(line);
    const bool changed = prev ? prev->displayLine(line) != now : now != std::string(kDisplayColumns, ' ');
    if (changed) events.push_back("display " + std::to_string(line) + " \"" + shownText(now, language_) + "\"");
  }
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const LampState now = s.lamps[lamp];
    const bool changed = prev ? prev->lamps[lamp] != now : now != LampState::Off;
    if (changed) events.push_back("lamp " + std::to_string(lamp) + " " + lampStateName(now));
  }
  if (prev ? prev->speechMode != s.speechMode : s.speechMode != 0)
    events.push_back("speech " + std::to_string(int(s.speechMode)));

  last_ = s;
  for (std::string& e : events) e = std::to_string(s.sequence) + " " + e;
  return events;
}

HeadlessCommand parseHeadlessCommand(std::string_view line) {
  HeadlessCommand c;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  const std::size_t blank = line.find(' ');
  const std::string word = lower(line.substr(0, blank));
  std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);

  auto error = [&](std::string what) {
    c.kind = HeadlessCommand::Kind::Error;
    c.error = std::move(what);
    return c;
  };
  if (word == "quit" && rest.empty()) {
    c.kind = HeadlessCommand::Kind::Quit;
  } else if (word == "hook" && rest.empty()) {
    c.kind = HeadlessCommand::Kind::Hook;
  } else if (word == "unregister" && rest.empty()) {
    c.kind = HeadlessCommand::Kind::Unregister;
  } else if (word == "download" && rest.empty()) {
    c.kind = HeadlessCommand::Kind::Download;
  } else if (word == "key") {
    const FixedKey* k = findFixedKey(rest);
    if (!k) return error("unknown key \"" + std::string(rest) + "\"");
    if (k->role == KeyRole::Hook) {
      c.kind = HeadlessCommand::Kind::Hook;
    } else {
      c.kind = HeadlessCommand::Kind::Key;
      c.codes.push_back(k->code);
    }
  } else if (word == "type") {
    c.kind = HeadlessCommand::Kind::Key;
    for (char32_t ch : codePoints(rest))
      if (auto code = keyCodeForChar(ch)) c.codes.push_back(*code);
  } else if (word == "settings") {
    c.kind = HeadlessCommand::Kind::Settings;
    while (!rest.empty()) {
      std::size_t end = rest.find(' ');
      std::string_view item = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      const std::size_t eq = item.find('=');
      if (eq == std::string_view::npos) return error("settings item without \"=\": " + std::string(item));
      const std::string key = lower(item.substr(0, eq));
      std::string value(item.substr(eq + 1));
      if (key == "host")
        c.host = value;
      else if (key == "account")
        c.account = value;
      else if (key == "auth")
        c.auth = value;
      else if (key == "password")
        c.password = value;
      else if (key == "language") {
        if (value.size() != 1 || value[0] < '0' || value[0] > '3') return error("language must be 0 to 3");
        c.language = value[0] - '0';
      } else {
        return error("unknown setting \"" + key + "\"");
      }
    }
  } else {
    return error("unknown command \"" + std::string(line) + "\"");
  }
  return c;
}

void applySettingsCommand(const HeadlessCommand& c, SettingsRecord& record) {
  if (c.language) record.setLanguage(std::uint16_t(*c.language));
  const corvane::Language lang = languageOf(record.language());
  AccountBlock a = record.account();
  auto field = [&](const std::optional<std::string>& v, std::size_t max, bool (AccountBlock::*set)(std::string_view)) {
    if (!v) return;
    std::string bytes = corvane::fromUtf8(*v, lang);
    if (bytes.size() > max) bytes.resize(max);
    (a.*set)(bytes);
  };
  field(c.host, AccountBlock::kHostSize - 1, &AccountBlock::setHost);
  field(c.account, AccountBlock::kAccountIdSize - 1, &AccountBlock::setAccountId);
  field(c.auth, AccountBlock::kAuthIdSize - 1, &AccountBlock::setAuthId);
  field(c.password, AccountBlock::kPasswordSize - 1, &AccountBlock::setPassword);
  record.setAccount(a);
}

// --- front end ----------------------------------------------------------------

HeadlessFrontEnd::HeadlessFrontEnd(KeysetCore& core, SettingsRecord& record, int inputFd, QObject* parent)
    : QObject(parent), core_(core), record_(record), printer_(record.language()), inputFd_(inputFd) {
  notifier_ = new QSocketNotifier(inputFd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &HeadlessFrontEnd::onInput);
}

void HeadlessFrontEnd::showSnapshot(const KeysetSnapshot& snapshot) {
  lastTick_ = snapshot.sequence;
  for (const std::string& line : printer_.update(snapshot)) print(line);
}

void HeadlessFrontEnd::setRecordings(RecordingService* recordings) {
  if (recordings_) recordings_->disconnect(this);
  recordings_ = recordings;
  if (recordings_) connect(recordings_, &RecordingService::statusChanged, this, &HeadlessFrontEnd::showRecordingStatus);
}

void HeadlessFrontEnd::showRecordingStatus() {
  if (!recordings_) return;
  for (int line = 0; line < 2; ++line) {
    const std::string& now = recordings_->statusLine(line);
    if (now == statusShown_[line]) continue;
    statusShown_[line] = now;
    if (!now.empty()) print(std::to_string(lastTick_) + " status \"" + shownText(now, record_.language()) + "\"");
  }
}

void HeadlessFrontEnd::showError(int textId) {
  print(std::to_string(lastTick_) + " error \"" + shownText(text(textId, record_.language()), record_.language()) +
        "\"");
}

void HeadlessFrontEnd::print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void HeadlessFrontEnd::onInput() {
  if (ended_) return;
  char buf[4096];
  const ssize_t n = ::read(inputFd_, buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // End of input: a last unterminated line still counts.
    ended_ = true;
    notifier_->setEnabled(false);
    if (!pending_.empty()) handleLine(std::exchange(pending_, {}));
    emit closeRequested();
    return;
  }
  pending_.append(buf, std::size_t(n));
  std::size_t nl;
  while (!ended_ && (nl = pending_.find('\n')) != std::string::npos) {
    const std::string line = pending_.substr(0, nl);
    pending_.erase(0, nl + 1);
    handleLine(line);
  }
}

void HeadlessFrontEnd::handleLine(std::string_view line) {
  if (line.find_first_not_of(" \r\t") == std::string_view::npos) return;
  const HeadlessCommand c = parseHeadlessCommand(line);
  switch (c.kind) {
    case HeadlessCommand::Kind::Key:
      for (std::uint16_t code : c.codes)
        QMetaObject::invokeMethod(&core_, "pressKey", Qt::QueuedConnection, Q_ARG(quint16, code));
      break;
    case HeadlessCommand::Kind::Hook: QMetaObject::invokeMethod(&core_, "toggleHook", Qt::QueuedConnection); break;
    case HeadlessCommand::Kind::Unregister:
      QMetaObject::invokeMethod(&core_, "unregister", Qt::QueuedConnection);
      break;
    case HeadlessCommand::Kind::Settings:
      applySettingsCommand(c, record_);
      printer_.setLanguage(record_.language());
      if (recordings_) recordings_->setLanguage(record_.language());
      QMetaObject::invokeMethod(&core_, "applySettings", Qt::QueuedConnection,
                                Q_ARG(halvern::AccountBlock, record_.account()));
      break;
    case HeadlessCommand::Kind::Download:
      // Only once the accept announced where the recordings are fetched.
      if (!recordings_ || !recordings_->available()) {
        print(std::to_string(lastTick_) + " error no recording port announced");
        break;
      }
      recordings_->download();
      break;
    case HeadlessCommand::Kind::Quit:
      ended_ = true;
      notifier_->setEnabled(false);
      emit closeRequested();
      break;
    case HeadlessCommand::Kind::Error: print(std::to_string(lastTick_) + " error " + c.error); break;
  }
}

}  // namespace halvern::ui
