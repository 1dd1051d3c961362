#include "spotting/spot_sender.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "intake/wire_reader.h"
#include "trace/failure_rule.h"

namespace qf {

SpotSender::SpotSender(WindowModel& window, RunState& state, Clock& clock, Regional& regional, TraceWriter& trace,
                       UdpSocket& spotSocket, Timer& drainTimer)
    : window_(window), state_(state), clock_(clock), regional_(regional), trace_(trace), spotSocket_(spotSocket),
      drainTimer_(drainTimer)
{
    drainTimer_.onTick = [this] { sendSpotFromTimer(); };
}

void SpotSender::sendSpot(const HeardStation& s)
{
    ++state_.spotCount;
    const std::string count = std::to_string(state_.spotCount);
    const std::size_t stations = stationCount_ ? stationCount_() : 0;
    if (!(sinceTextOf_ == state_.spotsSince) || sinceText_.empty()) {
        sinceTextOf_ = state_.spotsSince;
        sinceText_ = regional_.generalDateTime(state_.spotsSince);
    }
    const std::int64_t at = clockMs();
    window_.numSpots.setCaption(count + " spots sent since " + sinceText_ + " / Locator of " +
                                std::to_string(stations) + " stations in memory");
    const std::string q = numberText(s.qrg);
    const std::string snr = numberText(s.snr);
    const std::string df = numberText(s.df);
    const std::string& ownCall = window_.callsign.text();
    const std::string& ownLocator = window_.locator.text();
    if (trace_.enabled()) {
        trace_.write("    Sending spot " + count + " to Orbalis: OMID=" + ownCall + ",OMLOC=" + ownLocator +
                     ",QRG=" + q + ",TXID=" + s.call + ",MODE=" + s.mode + ",SNR=" + snr + ",DF=" + df +
                     ",CQ=" + s.kind + ",VER=" + state_.versionText);
    }

    auto step = [&](auto&& f) { return guarded(trace_, "    ** SendSpot Error ", f); };
    std::string record;
    step([&] {
        record = "WSJT|" + ownCall + "|" + ownLocator + "|" + q + "|" + s.call + "|" + s.locator + "|" + s.mode + "|" +
                 snr + "|" + df + "|" + s.kind + "|" + state_.versionText;
    });
    step([&] {
        if (queue_.empty()) {
            oldestMs_ = at;
        }
        queue_.push_back(std::move(record));
    });
    std::string line;
    step([&] { line = paneLine(s, q, snr, df); });
    step([&] { addSpotLine(line); });
    if (onQueued) {
        step([&] { onQueued(s); });
    }
    step([&] {
        // A flood must not grow the memory without bound.
        if (queue_.size() >= kQueueLimit) {
            traceEarlySend("the queue holds " + std::to_string(kQueueLimit));
            sendQueue();
        }
    });
    step([&] { armDrainTimer(at); });
}

std::string SpotSender::paneLine(const HeardStation& s, const std::string& q, const std::string& snr,
                                 const std::string& df)
{
    return dateTimeText(regional_, clock_.now(), true) + " - " + s.call + " " + s.kind + " on " + q + " in " + s.mode +
           " (SNR=" + snr + ", DF=" + df + ")";
}

void SpotSender::addSpotLine(const std::string& line)
{
    window_.spots.clearIfOverLimit();
    window_.spots.appendLine(line);
    window_.spots.moveCaretToEnd();
}

// A clock set back does not give the queue's oldest record its wait again.
std::int64_t SpotSender::clockMs()
{
    const Moment moment = readMoment(clock_);
    const std::int64_t reading = toSeconds(moment.time) * 1000 + moment.ms;
    if (reading < lastReadingMs_) {
        oldestMs_ -= lastReadingMs_ - reading;
    }
    lastReadingMs_ = reading;
    return reading;
}

void SpotSender::armDrainTimer(std::int64_t nowMs)
{
    drainTimer_.setEnabled(false);
    const DateTime t = clock_.now();
    random_.seed(static_cast<std::uint32_t>((t.hour * 3600 + t.minute * 60 + t.second) * 1000 + clock_.milliseconds()));
    const double r = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    const int seconds = std::min(50, static_cast<int>(std::floor(r * 50)) + 1);
    drawnMs_ = seconds * 1000;
    boundDecides_ = false;
    int interval = drawnMs_;
    if (!queue_.empty()) {
        // Past the mark (a late tick, a clock set forward) the batch goes at the next turn.
        const std::int64_t left = std::max<std::int64_t>(oldestMs_ + kLongestWaitMs - nowMs, 1);
        if (left < interval) {
            interval = static_cast<int>(left);
            boundDecides_ = true;
        }
    }
    drainTimer_.setInterval(interval);
    drainTimer_.setEnabled(true);
}

void SpotSender::traceEarlySend(const std::string& why)
{
    if (trace_.enabled()) {
        trace_.write("    Sending " + std::to_string(queue_.size()) + " queued spots to Orbalis: " + why);
    }
}

void SpotSender::sendSpotFromTimer()
{
    if (boundDecides_) {
        boundDecides_ = false;
        if (!queue_.empty()) {
            traceEarlySend("the oldest would wait more than 50 s");
        }
        // The shortened countdown was for this batch only.
        drainTimer_.setInterval(drawnMs_);
    }
    sendQueue();
}

void SpotSender::sendQueue()
{
    bool anySent = false;
    std::vector<Failure> failures;
    if (!queue_.empty()) {
        lastBatch_ = Batch{clock_.now(), queue_.size(), 0};
    }
    for (const std::string& record : queue_) {
        auto step = [&](auto&& f) { return guarded(trace_, "    ** SendSpotFromTimer Error ", f); };
        step([&] { spotSocket_.close(); });
        const bool sent = step([&] {
            try {
                spotSocket_.sendData(record);
            } catch (const Failure& f) {
                failures.push_back(f);
                throw;
            }
        });
        anySent = anySent || sent;
        if (sent) {
            ++lastBatch_.sent;
            ++recordsSent_;
        }
    }
    queue_.clear();
    // A batch that failed at once (a name known not to resolve, no route) is no batch sent; the
    // failures are told after it, so that they belong to this batch and not to one before.
    if (anySent && onBatchSent) {
        onBatchSent();
    }
    if (onSendFailed) {
        for (const Failure& f : failures) {
            onSendFailed(f.code, f.description);
        }
    }
}

} // namespace qf
