#include "health/health.h"

#include <cstdio>

#include "intake/wire_reader.h"
#include "platform/socket_errors.h"
#include "relay/loop_guard.h"
#include "service/service.h"
#include "upload/outbox.h"

namespace qf {
namespace {

constexpr const char* kDot = " \xB7 "; // a middle dot, in the window's 8-bit text
constexpr std::size_t kLongestAnswer = 60;
constexpr const char* kStationUnknown = "Spots and QSO uploads wait for your callsign and locator: set MyStationId "
                                        "and MyLocator, or let WSJT-X send them in its Status (a six-character grid)";

std::string clockText(const DateTime& t)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string plainWords(int code, const std::string& description)
{
    switch (code) {
    case kAddressInUse:
        return "another program is using it";
    case kAccessDenied:
        return "not allowed (a port below 1024 needs privileges)";
    case kAddressNotAvailable:
        return "the address is not available on this machine";
    default:
        return description + " (" + std::to_string(code) + ")";
    }
}

Health::Health(WindowModel& window, RunState& state, Instances& instances, Clock& clock)
    : window_(window), state_(state), instances_(instances), clock_(clock)
{
}

void Health::startFailed(const std::string& portText, int code, const std::string& description)
{
    startFailure_ = "UDP port " + trimmed(portText) + ": " + plainWords(code, description);
    update();
}

void Health::started(bool restart)
{
    startFailure_.reset();
    if (restart) {
        return;
    }
    startedAt_ = clock_.now();
    quietSaidAt_ = -1;
    const std::string group = trimmed(window_.multicastGroup.text());
    std::string line = "listening on UDP port " + trimmed(window_.udpPort.text()) + listenedAt();
    if (!group.empty()) {
        line += " (multicast group " + group + ")";
    }
    if (destinations) {
        line += destinations();
    }
    say(line);
    for (const std::string& target : state_.ownPortTargets) {
        say(ownPortText(target));
    }
    update();
}

void Health::spotBatchSent()
{
    ++batches_;
    lastBatchAt_ = clock_.now();
}

void Health::spotRefused(int code, const std::string& description)
{
    if (refusal_) {
        // Still refused, perhaps for a later batch: one condition, the rest counted.
        ++refusal_->more;
        refusal_->batch = batches_;
        return;
    }
    refusal_ = Refusal{};
    refusal_->at = clock_.now();
    refusal_->code = code;
    refusal_->description = description;
    refusal_->batch = batches_;
}

void Health::qsoSent(const std::string& call)
{
    lastQsoCall_ = call;
    lastQsoAt_ = clock_.now();
    // The answer that told the outbox it was delivered belongs to this QSO; an older one does not.
    if (!answerJustCame_) {
        answer_.clear();
    }
    answerJustCame_ = false;
    if (outbox_ == 0) {
        qsoFailureCall_.reset();
    }
    say("QSO with " + call + " sent to the online log");
}

void Health::qsoFailed(const std::string& call, const std::string& reason, bool again)
{
    // The outbox is sent again every minute: an outage would otherwise say each waiting QSO each time.
    const bool news = !again || !qsoFailureCall_ || reason != qsoFailureReason_;
    qsoFailureCall_ = call;
    qsoFailureReason_ = reason;
    if (news) {
        say(qsoFailureText(false)); // the outbox says its count itself
    }
}

void Health::serviceAnswered(const std::string& answer)
{
    std::string shown = trimBlanks(printableText(answer));
    if (shown.size() > kLongestAnswer) {
        shown = shown.substr(0, kLongestAnswer) + "...";
    }
    answer_ = shown;
    answerJustCame_ = true;
}

void Health::outboxChanged(std::size_t waiting, std::size_t inMemory)
{
    outbox_ = waiting;
    outboxInMemory_ = inMemory;
    if (waiting == 0 && qsoFailureCall_) {
        qsoFailureCall_.reset();
    }
}

// Only when monitoring listens on one address.
std::string Health::listenedAt() const
{
    const std::string address = trimmed(window_.listenAddress());
    return address.empty() ? std::string() : " at " + address;
}

std::string Health::quietText(std::int64_t seconds) const
{
    return "No datagram for " + std::to_string(seconds) + " s on UDP port " + trimmed(window_.udpPort.text()) +
           ": check the UDP Server setting of WSJT-X or JTDX";
}

std::string Health::refusalText() const
{
    return "The spot service refused spot records at " + clockText(refusal_->at) + " (" +
           std::to_string(refusal_->code) + " - " + refusal_->description + ")";
}

std::string Health::qsoFailureText(bool withCount) const
{
    std::string text = "QSO with " + *qsoFailureCall_ + " not sent to the online log: " + qsoFailureReason_;
    if (!withCount) {
        return text;
    }
    if (outbox_ > 0) {
        text += ", " + outboxCountText(outbox_, outboxInMemory_);
    }
    return text;
}

std::string Health::normalText() const
{
    const bool monitoring = window_.start.caption() == kStopCaption;
    std::string text = "Not monitoring";
    if (monitoring) {
        text = "Listening on UDP port " + trimmed(window_.udpPort.text()) + listenedAt();
        const std::string group = trimmed(window_.multicastGroup.text());
        if (!group.empty()) {
            text += ", multicast group " + group;
        }
        for (const std::string& target : state_.ownPortTargets) {
            text += kDot + ownPortText(target);
        }
    }
    if (const Instance* radio = instances_.lastHeard()) {
        text += kDot + radio->id;
        if (radio->statusSeen) {
            text += " " + radio->qrgText + " " + radio->mode;
        }
        text += ", heard " + std::to_string(secondsBetween(radio->lastHeard, clock_.now())) + " s ago";
    }
    if (batches_ > 0) {
        text += std::string(kDot) + "last spot batch " + clockText(lastBatchAt_);
    }
    if (lastQsoCall_) {
        text += std::string(kDot) + "last QSO " + *lastQsoCall_ + " sent " + clockText(lastQsoAt_);
        if (!answer_.empty()) {
            text += " \"" + answer_ + "\"";
        }
    }
    return text;
}

void Health::update()
{
    const DateTime now = clock_.now();
    const bool monitoring = window_.start.caption() == kStopCaption;
    if (refusal_ && batches_ > refusal_->batch && secondsBetween(lastBatchAt_, now) >= kRefusalSettlesSeconds) {
        sayRefusalsSince();
        refusal_.reset();
    }
    const DateTime& heardOrStarted =
        toSeconds(state_.lastDatagramTime) > toSeconds(startedAt_) ? state_.lastDatagramTime : startedAt_;
    const std::int64_t quiet = monitoring ? secondsBetween(heardOrStarted, now) : 0;
    if (quiet < quietSaidAt_ || !monitoring) {
        quietSaidAt_ = -1; // a datagram came
    }

    const bool stationUnknown = monitoring && !ownStationKnown(window_.callsign.text(), window_.locator.text());
    if (stationUnknown && !stationSaid_) {
        say(kStationUnknown);
    }
    stationSaid_ = stationUnknown;

    std::string text;
    bool allWell = false;
    if (startFailure_ && !monitoring) {
        text = *startFailure_;
    } else if (stationUnknown) {
        text = kStationUnknown;
    } else if (quiet >= kQuietSeconds) {
        text = quietText(quiet);
        if (quietSaidAt_ < 0 || quiet - quietSaidAt_ >= kQuietRepeatSeconds) {
            say(text);
            quietSaidAt_ = quiet;
        }
    } else if (refusal_) {
        text = refusalText();
    } else if (qsoFailureCall_) {
        text = qsoFailureText(true);
    } else {
        text = normalText();
        allWell = true;
    }
    if (refusal_ && !refusal_->said) {
        say(refusalText());
        refusal_->said = true;
        refusal_->saidAt = now;
    } else if (refusal_ && secondsBetween(refusal_->saidAt, now) >= kQuietRepeatSeconds) {
        sayRefusalsSince();
        refusal_->saidAt = now;
    }
    text_ = text;
    attention_ = !allWell;
    window_.health.setCaption(text);
}

// Refusals come one per record: said once, then counted, never one line per datagram.
void Health::sayRefusalsSince()
{
    if (refusal_->more > 0) {
        say("the spot service refused " + std::to_string(refusal_->more) + " more spot records since " +
            clockText(refusal_->at));
        refusal_->more = 0;
    }
}

void Health::say(const std::string& text)
{
    if (notice) {
        notice(text);
    }
}

} // namespace qf
