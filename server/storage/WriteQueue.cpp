// The writers' queue: tickets in a list, one condition variable.
#include "server/storage/WriteQueue.h"

#include <algorithm>

#include "server/metrics/Metrics.h"

namespace velsrv {

bool WriteQueue::Acquire(std::chrono::steady_clock::time_point deadline,
                         const std::function<bool()>& giveUp) {
  std::unique_lock<std::mutex> lock(mutex_);
  uint64_t ticket = nextTicket_++;
  auto me = waiting_.insert(waiting_.end(), ticket);
  auto ready = [&] { return !held_ && waiting_.front() == ticket; };
  bool turn = ready();
  if (turn) {
    held_ = true;
    waiting_.erase(me);
    return true;
  }
  // Only writers that had to wait are counted (and timed).
  const Stopwatch stopwatch;
  AddWaitingWriter(1);
  while (!turn && std::chrono::steady_clock::now() < deadline && !(giveUp && giveUp()))
    turn = changed_.wait_until(
        lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)),
        ready);
  waiting_.erase(me);
  AddWaitingWriter(-1);
  ObserveWriterWait(stopwatch.Seconds(), !turn && std::chrono::steady_clock::now() >= deadline);
  if (turn) {
    held_ = true;
  } else {
    changed_.notify_all();  // the next waiter may now be first
  }
  return turn;
}

void WriteQueue::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
  }
  changed_.notify_all();
}

}  // namespace velsrv
