// Writers to one database take turns in the order they asked, so that
// under load no writer waits much longer than the writers before it (an
// engine's own retry-and-sleep locking lets late comers overtake).
#ifndef VELORA_SERVER_STORAGE_WRITEQUEUE_H
#define VELORA_SERVER_STORAGE_WRITEQUEUE_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

namespace velsrv {

class WriteQueue {
 public:
  // Waits until every earlier waiter has had its turn and the holder has
  // released it, at most until deadline and while giveUp (asked every
  // tenth of a second, if given) returns false. True when the caller now
  // holds the turn; false, having left the queue, otherwise.
  bool Acquire(std::chrono::steady_clock::time_point deadline,
               const std::function<bool()>& giveUp = nullptr);
  void Release();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::list<uint64_t> waiting_;  // tickets in arrival order
  uint64_t nextTicket_ = 0;
  bool held_ = false;
};

}  // namespace velsrv

#endif
