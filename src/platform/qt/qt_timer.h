// Timer on QTimer: a window timer whose countdown restarts when it is enabled or its interval set.
#pragma once

#include <memory>

#include "platform/timer.h"

class QTimer;

namespace qf {

class QtTimer final : public Timer {
  public:
    QtTimer();
    ~QtTimer() override;
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }

  private:
    void restart();
    void tick();

    std::shared_ptr<char> alive_ = std::make_shared<char>();
    std::unique_ptr<QTimer> timer_;
    int interval_ = 0;
    bool enabled_ = false;
    int tickDepth_ = 0;
};

} // namespace qf
