// What the keyset window (or the headless printer) sees of the keyset core:
// an immutable copy taken on the core thread every 100 ms and handed over by
// value, so nothing of the core is ever read from another thread.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace halvern {

enum class LinkState : std::uint8_t {
  Initial = 0,
  InvalidSettings = 1,
  Registering = 2,
  Synchronizing = 3,
  Running = 4,
};
// Its name as written here ("Initial"), for logs and test messages.
const char* linkStateName(LinkState s);
std::ostream& operator<<(std::ostream& os, LinkState s);

enum class LampState : std::uint8_t { Off = 0, FastFlash = 1, SlowFlash = 2, On = 3 };
// Its name as written here ("Off"), for logs and test messages.
const char* lampStateName(LampState s);
std::ostream& operator<<(std::ostream& os, LampState s);

enum class AddressFamily : std::uint8_t { None = 0, IPv4 = 4, IPv6 = 6 };

inline constexpr int kDisplayLines = 8;
inline constexpr int kDisplayColumns = 25;
inline constexpr int kDisplaySize = kDisplayLines * kDisplayColumns;
inline constexpr int kLampCount = 64;

struct KeysetSnapshot {
  // 8 lines of 25 bytes in the declared code page, blank filled; control
  // bytes are kept here and blanked where the text is shown.
  std::array<char, kDisplaySize> display{};
  // Changes whenever the display buffer changes.
  std::uint32_t displayCounter = 0;
  std::array<LampState, kLampCount> lamps{};
  LinkState state = LinkState::Initial;
  bool linkFailure = false;
  // 0 idle, 2 local tone, 3 speech.
  std::uint8_t speechMode = 0;
  bool transmitMute = false;
  std::uint16_t terminalId = 0;
  // Packed BCD, most significant digit in the top nibble; nibbles 0xA-0xF
  // are fillers.
  std::uint32_t extension = 0;
  // 8 bytes as the exchange sent them (may hold NULs).
  std::string exchangeName;
  std::uint16_t recordingPort = 0;
  AddressFamily recordingFamily = AddressFamily::None;
  // The exchange the signalling socket is connected to, as address text
  // ("192.0.2.1", "2001:db8::1"); empty while there is none. The recording
  // download goes to this address.
  std::string exchangeAddress;
  // The signalling socket (or the speech socket) could not be made:
  // "Socket fault!" is shown in place of the display.
  bool socketFault = false;
  // Changes whenever the exchange starts a ring melody: the window comes
  // to the front.
  std::uint32_t raiseCounter = 0;
  // Counts snapshots; a view can tell a fresh one from a repeat.
  std::uint64_t sequence = 0;

  // Line `line` (0-7) of the display, 25 bytes.
  std::string displayLine(int line) const {
    return std::string(display.data() + line * kDisplayColumns, kDisplayColumns);
  }
  bool running() const { return state == LinkState::Running; }
};

}  // namespace halvern
