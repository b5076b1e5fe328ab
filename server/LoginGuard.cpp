// Per-address turns for login attempts after failures.
#include "server/LoginGuard.h"

#include <algorithm>
#include <thread>

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

void LoginGuard::Forget(Clock::time_point now) {
  for (auto it = records_.begin(); it != records_.end();)
    it = now - it->second.lastFailure > kForgetAfter ? records_.erase(it) : std::next(it);
}

bool LoginGuard::Admit(const std::string& address) {
  Clock::time_point turn;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    auto it = records_.find(address);
    if (it == records_.end()) return true;
    Record& r = it->second;
    if (now - r.lastFailure > kForgetAfter) {
      records_.erase(it);
      return true;
    }
    turn = std::max(now, r.nextTurn);
    if (turn - now > kLongestDelay) return false;
    r.nextTurn = turn + DelayAfter(r.failures);
  }
  // Waits in short steps so that a stopping server is not held up.
  while (Clock::now() < turn && !(stop_ && *stop_))
    std::this_thread::sleep_for(std::min<Clock::duration>(turn - Clock::now(),
                                                          std::chrono::milliseconds(50)));
  return true;
}

int LoginGuard::Failed(const std::string& address) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (records_.size() > 10000) Forget(now);  // bounded memory under a spread-out flood
  Record& r = records_[address];
  r.failures = std::min(r.failures + 1, 1000);
  r.lastFailure = now;
  r.nextTurn = std::max(r.nextTurn, now + DelayAfter(r.failures));
  return r.failures;
}

}  // namespace velsrv
