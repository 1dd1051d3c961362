// What the operator needs to know at a glance, made from what the program already keeps: the one
// line at the bottom of the window and, without a window, the lines said on standard error when
// something begins. Worked out once a second, never per datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "intake/instances.h"
#include "platform/clock.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

class Health {
  public:
    Health(WindowModel& window, RunState& state, Instances& instances, Clock& clock);

    // Without a window: "quillfeed: " + text on standard error. Unset with a window.
    std::function<void(const std::string& text)> notice;
    // Said when monitoring starts, after "listening on UDP port N": where the datagrams go.
    std::function<std::string()> destinations;

    // What the program reports as it happens.
    void startFailed(const std::string& portText, int code, const std::string& description);
    // The watchdog's restart is not news: the silence it answers goes on being counted.
    void started(bool restart);
    void spotBatchSent();
    void spotRefused(int code, const std::string& description);
    void qsoSent(const std::string& call);
    // again: a QSO of the outbox, sent again; its failure is news only when the reason changed.
    void qsoFailed(const std::string& call, const std::string& reason, bool again);
    void serviceAnswered(const std::string& answer);
    void outboxChanged(std::size_t waiting, std::size_t inMemory);

    // Once a second: the window's line, and the notices of conditions that began.
    void update();
    const std::string& text() const { return text_; }
    // The line tells of something to look at, rather than that all is well (or monitoring is off).
    bool attention() const { return attention_; }

    static constexpr int kQuietSeconds = 60;
    static constexpr int kQuietRepeatSeconds = 600;
    // A refusal is over once a later batch has been out this long without one.
    static constexpr int kRefusalSettlesSeconds = 5;

  private:
    struct Refusal {
        DateTime at;
        int code = 0;
        std::string description;
        std::uint64_t batch = 0; // the batches sent when the last refusal came
        std::size_t more = 0;    // refusals not said yet
        bool said = false;
        DateTime saidAt;
    };
    std::string listenedAt() const;
    std::string quietText(std::int64_t seconds) const;
    std::string refusalText() const;
    std::string qsoFailureText(bool withCount) const;
    std::string normalText() const;
    void say(const std::string& text);
    void sayRefusalsSince();

    WindowModel& window_;
    RunState& state_;
    Instances& instances_;
    Clock& clock_;
    std::string text_;
    bool attention_ = false;

    std::optional<std::string> startFailure_;
    DateTime startedAt_; // the last start that was not the watchdog's restart
    std::uint64_t batches_ = 0;
    DateTime lastBatchAt_;
    std::optional<Refusal> refusal_;
    std::optional<std::string> qsoFailureCall_;
    std::string qsoFailureReason_;
    std::optional<std::string> lastQsoCall_;
    DateTime lastQsoAt_;
    std::string answer_;
    bool answerJustCame_ = false;
    std::size_t outbox_ = 0;
    std::size_t outboxInMemory_ = 0;

    // The quiet seconds when "No datagram" was last said, so it is said again only every 10 minutes.
    std::int64_t quietSaidAt_ = -1;
    bool stationSaid_ = false;
};

// A socket error in plain words for an operator, from its Winsock number.
std::string plainWords(int code, const std::string& description);

} // namespace qf
