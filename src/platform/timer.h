// A window timer: an interval in milliseconds, enabled or not; enabling restarts the countdown.
#pragma once

#include <functional>

namespace qf {

class Timer {
  public:
    virtual ~Timer() = default;
    // Changing the interval of an enabled timer restarts its countdown.
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;

    std::function<void()> onTick;
};

} // namespace qf
