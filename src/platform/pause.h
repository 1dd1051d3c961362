// The watchdog's pause, kept off the event thread's back: the thread goes on painting and answering
// the desktop, but no tick, socket event or operator action reaches the program until it ends.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/timer.h"

namespace qf {

class Pause {
  public:
    explicit Pause(std::unique_ptr<Timer> timer);

    bool active() const { return active_; }
    // Ends after ms with `then`; what waited meanwhile runs after it.
    void start(int ms, std::function<void()> then);
    // Runs the event now, or once the pause has ended. An event whose key is already waiting is not
    // queued twice (a timer that came due twice ticks once); a null key is never merged.
    void admit(const void* key, std::function<void()> event);

    // Told when the pause starts (true) and ends (false), before `then` runs.
    std::function<void(bool active)> onChange;

  private:
    void end();

    std::unique_ptr<Timer> timer_;
    bool active_ = false;
    std::function<void()> then_;
    std::vector<std::pair<const void*, std::function<void()>>> waiting_;
};

} // namespace qf
