#include "halvern/keyset_snapshot.h"

#include <ostream>

namespace halvern {

const char* linkStateName(LinkState s) {
  switch (s) {
    case LinkState::Initial: return "Initial";
    case LinkState::InvalidSettings: return "InvalidSettings";
    case LinkState::Registering: return "Registering";
    case LinkState::Synchronizing: return "Synchronizing";
    case LinkState::Running: return "Running";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, LinkState s) { return os << linkStateName(s); }

const char* lampStateName(LampState s) {
  switch (s) {
    case LampState::Off: return "Off";
    case LampState::FastFlash: return "FastFlash";
    case LampState::SlowFlash: return "SlowFlash";
    case LampState::On: return "On";
  }
  return "?";
}

std::ostream& operator<<(std::ostream& os, LampState s) { return os << lampStateName(s); }

}  // namespace halvern
