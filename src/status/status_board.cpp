#include "status/status_board.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "status/json.h"

namespace qf {
namespace {

// A time that never came (the zero of DateTime) is null.
void timeValue(JsonWriter& j, const DateTime& t)
{
    if (t == DateTime{}) {
        j.null();
    } else {
        j.value(isoDateTime(t));
    }
}

std::uint64_t notNegative(std::int64_t n)
{
    return n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

void relayEntry(JsonWriter& j, const std::string& target, bool main, const RelayTally& t)
{
    j.beginObject();
    j.key("target").value(target);
    j.key("main").value(main);
    j.key("relayed").value(t.relayed);
    j.key("errors").value(t.errors);
    j.key("lastError").value(t.lastError);
    j.key("lastErrorTime");
    timeValue(j, t.errors > 0 ? t.lastErrorAt : DateTime{});
    j.key("repliesPassed").value(t.repliesPassed);
    j.key("repliesRefused").value(t.repliesRefused);
    j.endObject();
}

} // namespace

std::string isoDateTime(const DateTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

StatusBoard::StatusBoard(StatusSources sources) : sources_(std::move(sources)) {}

void StatusBoard::spotQueued(const HeardStation& s)
{
    latestSpots_.add(SpotSeen{sources_.clock.now(), s.call, s.locator, s.qrg, s.mode, s.snr});
}

void StatusBoard::spotRefused(int code, const std::string& description)
{
    ++spotsRefused_;
    lastRefusal_ = std::to_string(code) + " - " + description;
    lastRefusalAt_ = sources_.clock.now();
}

void StatusBoard::qsoDelivered(const std::string& call)
{
    ++qsosSent_;
    lastQsoCall_ = call;
    lastQsoAt_ = sources_.clock.now();
}

void StatusBoard::tick()
{
    history_.sample(sources_.clock.now(), notNegative(sources_.state.decodeCount),
                    notNegative(sources_.state.spotCount));
}

const std::string& StatusBoard::json()
{
    const DateTime now = sources_.clock.now();
    if (!madeAt_ || !(*madeAt_ == now)) {
        tick();
        json_ = build(now);
        madeAt_ = now;
    }
    return json_;
}

std::string StatusBoard::build(const DateTime& now)
{
    const StatusSources& s = sources_;
    const WindowModel& w = s.window;
    const bool monitoring = w.start.caption() == kStopCaption;
    JsonWriter j;
    j.beginObject();
    j.key("version").value(s.state.versionText);
    j.key("time").value(isoDateTime(now));
    j.key("health").beginObject();
    j.key("text").value(s.health.text());
    j.key("state").value(s.health.attention() ? "attention" : monitoring ? "ok" : "idle");
    j.endObject();
    j.key("monitoring").value(monitoring);
    j.key("udpPort").value(w.udpPort.text());
    j.key("multicastGroup").value(w.multicastGroup.text());
    j.key("callsign").value(w.callsign.text());
    j.key("locator").value(w.locator.text());

    std::vector<const Instance*> radios;
    for (const Instance& i : s.instances.all()) {
        radios.push_back(&i);
    }
    std::sort(radios.begin(), radios.end(), [](const Instance* a, const Instance* b) { return a->id < b->id; });
    j.key("radios").beginArray();
    for (const Instance* r : radios) {
        j.beginObject();
        j.key("id").value(r->id);
        j.key("dialFrequency");
        r->statusSeen ? j.value(r->qrg) : j.null();
        j.key("dialFrequencyText").value(r->qrgText);
        j.key("mode").value(r->mode);
        j.key("heardSecondsAgo").value(std::max<std::int64_t>(secondsBetween(r->lastHeard, now), 0));
        j.key("decodes").value(r->decodes);
        j.key("spots").value(r->spots);
        j.endObject();
    }
    j.endArray();

    j.key("relays").beginArray();
    if (!w.servIP.text().empty() && !w.servPort.text().empty()) {
        relayEntry(j, w.servIP.text() + ":" + w.servPort.text(), true, s.mainRelay.tally);
        for (std::size_t i = 0; i < s.extraRelays.size(); ++i) {
            relayEntry(j, s.extraRelays.target(i).target(), false, s.extraRelays.target(i).tally);
        }
    }
    j.endArray();
    j.key("passReplies").value(w.passReplies.checked());

    const SpotSender::Batch& batch = s.spots.lastBatch();
    j.key("spots").beginObject();
    j.key("sent").value(s.spots.recordsSent());
    j.key("refused").value(spotsRefused_);
    j.key("queued").value(static_cast<std::uint64_t>(s.spots.queue().size()));
    j.key("lastBatch");
    if (batch.records == 0) {
        j.null();
    } else {
        const bool refused = spotsRefused_ > 0 && toSeconds(lastRefusalAt_) >= toSeconds(batch.at);
        j.beginObject();
        j.key("time").value(isoDateTime(batch.at));
        j.key("records").value(static_cast<std::uint64_t>(batch.records));
        j.key("sent").value(static_cast<std::uint64_t>(batch.sent));
        j.key("outcome").value(refused ? "refused: " + lastRefusal_ : batch.sent > 0 ? "sent" : "not sent");
        j.endObject();
    }
    j.endObject();

    j.key("qsos").beginObject();
    j.key("sent").value(qsosSent_);
    j.key("lastSent");
    if (lastQsoCall_) {
        j.beginObject().key("call").value(*lastQsoCall_).key("time").value(isoDateTime(lastQsoAt_)).endObject();
    } else {
        j.null();
    }
    j.key("outbox").beginArray();
    for (const std::string& record : s.outbox.waitingRecords()) {
        j.value(s.callOf ? s.callOf(record) : record);
    }
    j.endArray();
    j.endObject();

    // Oldest minute first, one number a minute.
    const std::vector<MinuteCount> hour = history_.lastHour(now);
    j.key("history").beginObject();
    j.key("firstMinute").value(isoDateTime(hour.front().minute));
    j.key("decodes").beginArray();
    for (const MinuteCount& m : hour) {
        j.value(m.decodes);
    }
    j.endArray().key("spots").beginArray();
    for (const MinuteCount& m : hour) {
        j.value(m.spots);
    }
    j.endArray().endObject();

    j.key("latestSpots").beginArray();
    for (const SpotSeen& spot : latestSpots_.newestFirst()) {
        j.beginObject();
        j.key("time").value(isoDateTime(spot.at));
        j.key("callsign").value(spot.call);
        j.key("locator").value(spot.locator);
        j.key("frequency").value(spot.qrg);
        j.key("mode").value(spot.mode);
        j.key("snr").value(spot.snr);
        j.endObject();
    }
    j.endArray();
    j.endObject();
    return j.text();
}

} // namespace qf
