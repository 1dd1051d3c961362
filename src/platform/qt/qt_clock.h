// Clock on the system's local time.
#pragma once

#include "platform/clock.h"

namespace qf {

class QtClock final : public Clock {
  public:
    DateTime now() override;
    int milliseconds() override;
};

} // namespace qf
