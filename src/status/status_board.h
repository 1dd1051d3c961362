// The status page's data: a snapshot of what the program already counts, read only when a page
// asks, as the JSON of /status.json. The few things nothing else keeps (the last hour per minute,
// the latest spot records, refusals and QSOs of this run) are noted here as they happen.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "health/health.h"
#include "intake/instances.h"
#include "platform/clock.h"
#include "relay/extra_relays.h"
#include "relay/relay_events.h"
#include "spotting/spot_sender.h"
#include "status/status_history.h"
#include "upload/outbox.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

// What the snapshot reads; nothing in it is changed.
struct StatusSources {
    const WindowModel& window;
    const RunState& state;
    const Instances& instances;
    const Health& health;
    const RelayEvents& mainRelay;
    const ExtraRelays& extraRelays;
    const SpotSender& spots;
    const Outbox& outbox;
    Clock& clock;
    // The other station's call in a QSO record.
    std::function<std::string(const std::string& record)> callOf;
};

class StatusBoard {
  public:
    explicit StatusBoard(StatusSources sources);

    void spotQueued(const HeardStation& station);
    void spotRefused(int code, const std::string& description);
    void qsoDelivered(const std::string& call);
    // Once a second: the counts of the minute.
    void tick();

    // Made afresh at most once a second of the clock, however often pages ask.
    const std::string& json();

  private:
    std::string build(const DateTime& now);

    StatusSources sources_;
    MinuteHistory history_;
    LatestSpots latestSpots_;
    std::uint64_t spotsRefused_ = 0;
    std::string lastRefusal_;
    DateTime lastRefusalAt_;
    std::uint64_t qsosSent_ = 0;
    std::optional<std::string> lastQsoCall_;
    DateTime lastQsoAt_;
    std::optional<DateTime> madeAt_;
    std::string json_;
};

// A local date-time as the page's JSON gives it: "2026-12-07T10:00:16".
std::string isoDateTime(const DateTime& t);

} // namespace qf
