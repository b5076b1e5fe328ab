// Slows password guessing down per client address. The logins of one
// address are checked one at a time, and after a failed one every later
// attempt from that address waits its turn: turns are spaced by a delay
// that doubles with each failure (kFirstDelay up to kLongestDelay). An
// attempt whose turn lies further ahead than kLongestDelay is refused
// without looking at its password, so a burst from one address holds no
// thread for long and never delays other addresses. An address's failures
// are forgotten kForgetAfter after its last one.
#ifndef VELORA_SERVER_ADMIN_LOGINGUARD_H
#define VELORA_SERVER_ADMIN_LOGINGUARD_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace velsrv {

class LoginGuard {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{100};
  static constexpr std::chrono::milliseconds kLongestDelay{2000};
  static constexpr std::chrono::minutes kForgetAfter{10};

  // stop (may be null) cuts a wait short.
  explicit LoginGuard(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}

  // Waits for the turn of an attempt from address; false (without
  // waiting longer than kLongestDelay) when it may not be checked now.
  // After true, Finish must follow.
  bool Admit(const std::string& address);
  // Ends the check that Admit allowed; returns the address's failures.
  int Finish(const std::string& address, bool failed);

  // The client address of a peer text "host:port#serial" ("[v6]:port#n").
  static std::string AddressOf(const std::string& peer);

 private:
  struct Record {
    int failures = 0;
    int waiting = 0;        // attempts inside Admit
    bool checking = false;  // an attempt is being checked
    Clock::time_point nextTurn, lastFailure;
  };
  bool Stopping() const { return stop_ && *stop_; }
  void Drop(std::map<std::string, Record>::iterator it);

  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::condition_variable checked_;
  std::map<std::string, Record> records_;
};

}  // namespace velsrv

#endif
