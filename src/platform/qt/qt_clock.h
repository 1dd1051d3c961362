// Clock on the system's local time, read through Qt; the pause blocks the calling thread.
#pragma once

#include "platform/clock.h"

namespace qf {

class QtClock final : public Clock {
  public:
    DateTime now() override;
    int milliseconds() override;
    void sleep(int ms) override;
};

} // namespace qf
