// Per-address turns for login attempts.
#include "server/admin/LoginGuard.h"

#include <algorithm>

namespace velsrv {

constexpr std::chrono::milliseconds LoginGuard::kFirstDelay;
constexpr std::chrono::milliseconds LoginGuard::kLongestDelay;
constexpr std::chrono::minutes LoginGuard::kForgetAfter;

namespace {

std::chrono::milliseconds DelayAfter(int failures) {
  std::chrono::milliseconds delay = LoginGuard::kFirstDelay;
  for (int i = 1; i < failures && delay < LoginGuard::kLongestDelay; ++i) delay *= 2;
  return std::min(delay, LoginGuard::kLongestDelay);
}

}  // namespace

std::string LoginGuard::AddressOf(const std::string& peer) {
  std::string address = peer.substr(0, peer.find('#'));
  const size_t colon = address.rfind(':'), bracket = address.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket))
    address.resize(colon);
  return address;
}

// A record that holds nothing worth keeping goes, so that the map stays
// as small as the set of addresses with recent failures.
void LoginGuard::Drop(std::map<std::string, Record>::iterator it) {
  const Record& r = it->second;
  const bool stale = r.failures == 0 || Clock::now() - r.lastFailure > kForgetAfter;
  if (stale && r.waiting == 0 && !r.checking) records_.erase(it);
}

bool LoginGuard::Admit(const std::string& address) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Clock::time_point deadline = Clock::now() + kLongestDelay;
  auto it = records_.emplace(address, Record()).first;
  Record& r = it->second;  // stays while this attempt waits
  ++r.waiting;
  bool admitted = false;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (r.failures > 0 && now - r.lastFailure > kForgetAfter) r.failures = 0;
    const Clock::time_point turn = r.failures > 0 ? std::max(now, r.nextTurn) : now;
    if (turn > deadline || Stopping()) break;
    if (!r.checking && turn <= now) {
      admitted = r.checking = true;
      break;
    }
    // Short steps, so that a stopping server is not held up.
    checked_.wait_until(
        lock, std::min(turn > now ? turn : deadline, now + std::chrono::milliseconds(50)));
  }
  --r.waiting;
  if (!admitted) Drop(it);
  return admitted;
}

int LoginGuard::Finish(const std::string& address, bool failed) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = records_.find(address);
  if (it == records_.end()) return 0;
  Record& r = it->second;
  r.checking = false;
  if (failed) {
    const Clock::time_point now = Clock::now();
    r.failures = std::min(r.failures + 1, 1000);
    r.lastFailure = now;
    r.nextTurn = std::max(r.nextTurn, now + DelayAfter(r.failures));
  }
  const int failures = r.failures;
  Drop(it);
  // Addresses that stopped failing long ago go too, so that the map stays
  // bounded by the addresses of the last minutes.
  if (failed && records_.size() > 4096)
    for (auto next = records_.begin(); next != records_.end();) Drop(next++);
  checked_.notify_all();
  return failures;
}

}  // namespace velsrv
