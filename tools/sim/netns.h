// Network namespaces for the end-to-end tests that send packets: the
// program runs in one namespace, corvane-sim in another, joined by veth
// pairs, so nothing ever reaches the host's own network. Names carry the
// process id, so tests run in parallel; the namespaces (and with them the
// veth pairs) are removed at the end. Creating them needs root and the
// `ip` tool; `reason()` says why it could not be done.
#pragma once

#include "tools/sim/test_process.h"

#include <string>
#include <vector>

namespace lumarc::testproc {

class NamespacePair {
 public:
  // Two namespaces "<stem><pid>a" and "<stem><pid>b" with their loop-back up.
  explicit NamespacePair(const std::string& stem) {
    const std::string id = stem + std::to_string(::getpid());
    a_ = id + "a";
    b_ = id + "b";
    if (::geteuid() != 0) {
      reason_ = "needs root to create network namespaces";
      return;
    }
    if (!ip({"netns", "add", a_})) {
      reason_ = "'ip netns add' failed (no ip tool or no namespace support)";
      return;
    }
    if (!ip({"netns", "add", b_})) {
      reason_ = "'ip netns add' failed for the second namespace";
      return;
    }
    ok_ = ip({"-n", a_, "link", "set", "lo", "up"}) && ip({"-n", b_, "link", "set", "lo", "up"});
    if (!ok_) reason_ = "cannot bring up loop-back in the namespaces";
  }
  ~NamespacePair() {
    ip({"netns", "del", a_});
    ip({"netns", "del", b_});
  }
  NamespacePair(const NamespacePair&) = delete;
  NamespacePair& operator=(const NamespacePair&) = delete;

  bool ok() const { return ok_; }
  const std::string& reason() const { return reason_; }
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }

  // A veth pair from a to b (link names inside the namespaces), with the
  // given addresses in CIDR form, both up.
  bool link(const std::string& nameA, const std::string& cidrA, const std::string& nameB, const std::string& cidrB) {
    return ip({"-n", a_, "link", "add", nameA, "type", "veth", "peer", "name", nameB, "netns", b_}) &&
           ip({"-n", a_, "addr", "add", cidrA, "dev", nameA}) && ip({"-n", b_, "addr", "add", cidrB, "dev", nameB}) &&
           ip({"-n", a_, "link", "set", nameA, "up"}) && ip({"-n", b_, "link", "set", nameB, "up"});
  }

  // The argument vector that runs argv inside namespace ns.
  static std::vector<std::string> inside(const std::string& ns, std::vector<std::string> argv) {
    std::vector<std::string> full = {ipTool(), "netns", "exec", ns};
    full.insert(full.end(), argv.begin(), argv.end());
    return full;
  }

 private:
  static std::string ipTool() {
    for (const char* p : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
      if (::access(p, X_OK) == 0) return p;
    return "/usr/sbin/ip";
  }
  static bool ip(std::vector<std::string> args) {
    args.insert(args.begin(), ipTool());
    ChildProcess p(args, "/dev/null");
    return p.ok() && p.wait() == 0;
  }

  std::string a_, b_, reason_;
  bool ok_ = false;
};

}  // namespace lumarc::testproc
