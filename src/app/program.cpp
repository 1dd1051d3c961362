#include "app/program.h"

#include "health/health.h"
#include "intake/datagram_intake.h"
#include "intake/qso_logged_handler.h"
#include "intake/status_handler.h"
#include "monitor/monitoring_control.h"
#include "platform/machine_name.h"
#include "relay/extra_relays.h"
#include "relay/loop_guard.h"
#include "relay/relay_events.h"
#include "relay/reply_path.h"
#include "settings/settings.h"
#include "settings/settings_path.h"
#include "service/service.h"
#include "spotting/decode_analysis.h"
#include "spotting/locator.h"
#include "spotting/spot_sender.h"
#include "spotting/station_memory.h"
#include "trace/escaped.h"
#include "status/status_board.h"
#include "status/status_page.h"
#include "trace/failure_rule.h"
#include "trace/trace_writer.h"
#include "upload/outbox.h"

namespace qf {
namespace {

constexpr int kPositionTimerMs = 500;
constexpr int kHealthTimerMs = 1000;
constexpr int kRetryStartMs = 60000;

} // namespace

struct Program::Parts {
    Parts(Program& p, PlatformServices& s)
        : trace(*p.window_, s.files, s.clock, s.regional), loopGuard(s.clock, trace, s.isOwnAddress),
          extraRelays(*p.window_, trace, s.makeSocket),
          monitor(*p.window_, p.state_, *p.winsock1_, *p.winsockServ_, extraRelays, *p.timerRx_, *p.pause_, s.clock,
                  s.dialogs, trace),
          intake(*p.window_, p.state_, p.instances_, *p.winsock1_, *p.winsockServ_, extraRelays, s.clock, trace),
          status(*p.window_, p.instances_, s.clock, trace),
          spots(*p.window_, p.state_, s.clock, s.regional, trace, *p.winsock2_, *p.timerSpots_),
          memory(*p.window_, s.clock, s.regional, trace, spots), decodes(*p.window_, p.state_, memory, trace),
          qso(*p.window_, p.state_, trace, *p.winsock3_, s.spotServiceHost),
          outbox(*p.window_, s.files, trace, *p.winsock3_, *p.timerOutbox_, *p.timerOutboxRefusal_, s.notice),
          relay(*p.winsockServ_, trace), replies(*p.window_, p.instances_, *p.winsock1_, trace),
          health(*p.window_, p.state_, p.instances_, s.clock)
    {
    }
    TraceWriter trace;
    LoopGuard loopGuard;
    ExtraRelays extraRelays;
    MonitoringControl monitor;
    DatagramIntake intake;
    StatusHandler status;
    SpotSender spots;
    StationMemory memory;
    DecodeAnalysis decodes;
    QsoLoggedHandler qso;
    Outbox outbox;
    RelayEvents relay;
    ReplyPath replies;
    Health health;
    std::unique_ptr<Settings> settings;
};

Program::Program(PlatformServices services, std::vector<std::string> arguments)
    : services_(std::move(services)), arguments_(std::move(arguments)), window_(std::make_unique<WindowModel>()),
      winsock1_(services_.makeSocket()), winsock2_(services_.makeSocket()), winsock3_(services_.makeSocket()),
      winsockServ_(services_.makeSocket()), timerRx_(services_.makeTimer()), timerSpots_(services_.makeTimer()),
      timerPosicion_(services_.makeTimer()), timerHealth_(services_.makeTimer()), timerRetry_(services_.makeTimer()),
      timerOutbox_(services_.makeTimer()), timerOutboxRefusal_(services_.makeTimer()),
      pause_(std::make_unique<Pause>(services_.makeTimer()))
{
    state_.versionText = services_.versionText;
    winsockServ_->setRemoteHost("127.0.0.1");
    winsock2_->setRemoteHost(services_.spotServiceHost);
    winsock2_->setRemotePort(kSpotServicePort);
    parts_ = std::make_unique<Parts>(*this, services_);
    Parts& p = *parts_;

    p.spots.setStationCount([&p] { return p.memory.size(); });
    p.intake.setHandlers(MessageHandlers{
        [&p](const std::string& d, Instance& sender) { p.status.handle(d, sender); },
        [this, &p](const std::string& d, double schema, Instance& sender) {
            const auto decodes = state_.decodeCount;
            const auto spots = state_.spotCount;
            p.decodes.handle(d, schema, sender);
            // Counted per radio program for the status page.
            sender.decodes += static_cast<std::uint64_t>(state_.decodeCount - decodes);
            sender.spots += static_cast<std::uint64_t>(state_.spotCount - spots);
        },
        [&p](const std::string& d, double schema) { p.qso.handle(d, schema); },
    });
    const auto offerReply = [&p](const std::string& name, const std::string& d, const UdpSocket& from) {
        return p.replies.offer(name, d, from);
    };
    p.relay.onAnswer = offerReply;
    p.extraRelays.onAnswer = offerReply;
    p.replies.paused = [this] { return pause_->active(); };
    p.status.onOwnStation = [this](const Instance& sender, const std::string& call, const std::string& grid) {
        takeOwnStation(sender, call, grid);
    };
    winsock1_->onDataArrival = [&p](int) { p.intake.onArrival(); };
    // What the program itself sends must not come back in as if a radio program had sent it.
    p.intake.loopGuard = &p.loopGuard;
    for (const UdpSocket* own : {winsockServ_.get(), winsock2_.get(), winsock3_.get()}) {
        p.loopGuard.watch(*own);
    }
    p.qso.onSent = [&p](const std::string& record) { p.outbox.sent(record); };
    p.qso.onUnsent = [&p](const std::string& record, const std::string& why) { p.outbox.keep(record, why); };
    // The log socket's own trace lines come first.
    winsock3_->onError = [&p, traced = std::move(winsock3_->onError)](int code, const std::string& d) {
        traced(code, d);
        p.outbox.socketError(code, d);
    };
    // The spot socket reports late failures (a host name that did not resolve) as events.
    winsock2_->onError = [&p](int code, const std::string& d) {
        p.trace.write(failureLine("    ** SendSpotFromTimer Error ", code, d));
        p.health.spotRefused(code, d);
    };
    wireHealth();
    wireStatus();

    WindowModel& w = *window_;
    w.start.onClick = [&p] { p.monitor.clickStart(); };
    w.clear.onClick = [&w] {
        w.log.clear();
        w.dx.clear();
        w.spots.clear();
    };
    w.helpCallsign.onClick = [this] {
        services_.dialogs.showMessage("Enter your amateur radio callsign. If you don't have one then choose a "
                                      "combination of letters and numbers up to 8 characters");
    };
    w.helpLocator.onClick = [this] {
        if (services_.dialogs.askYesNo("Enter your QTH locator / grid square (six characters, like JM19HN, "
                                       "MN23AB...) Would you like to calculate it using Google Maps?")) {
            services_.shell.openUrl(services_.webAddress + "/callbook/gmap.php");
        }
    };
    w.viewLog.onClick = [this] {
        services_.shell.openUrl(services_.webAddress +
                                "/callbook/info.php?Tab=LO&Force=Y&Lan=E&Callsign=" + window_->callsign.text());
    };
    w.viewTrace.onClick = [this] { services_.shell.openFolder(parts_->trace.appFolder()); };
    w.trace.onClick = [this] {
        parts_->trace.traceClicked(state_.isLoading, [this](const std::string& v) { store("Trace", v); });
    };
    w.logUpload.onClick = [this] {
        if (state_.isLoading) {
            return;
        }
        store("LogUpload", window_->logUpload.checked() ? "1" : "0");
        parts_->qso.logUploadClicked();
    };
    timerPosicion_->onTick = [this] { positionTick(); };
    pause_->onChange = [&w](bool active) { w.setInputHeld(active); };
    holdDuringPause();
}

// Every tick and socket event of the program goes through the pause (the model holds the clicks).
void Program::holdDuringPause()
{
    for (Timer* timer : {timerRx_.get(), timerSpots_.get(), timerPosicion_.get(), timerHealth_.get(), timerRetry_.get(),
                         timerOutbox_.get(), timerOutboxRefusal_.get()}) {
        timer->onTick = [this, timer, tick = std::move(timer->onTick)] {
            pause_->admit(timer, [timer, tick] {
                if (tick && timer->enabled()) {
                    tick();
                }
            });
        };
    }
    for (UdpSocket* socket : {winsock1_.get(), winsock2_.get(), winsock3_.get()}) {
        holdDuringPause(*socket);
    }
    holdDuringPause(*winsockServ_, true);
    parts_->extraRelays.onSocketWired = [this](UdpSocket& socket) {
        holdDuringPause(socket, true);
        parts_->loopGuard.watch(socket);
    };
}

void Program::holdDuringPause(UdpSocket& socket, bool relaySocket)
{
    if (auto arrival = std::move(socket.onDataArrival)) {
        // Left untaken during the pause: the socket offers the datagram again.
        socket.onDataArrival = [this, relaySocket, arrival = std::move(arrival)](int bytes) {
            if (!pause_->active() || (relaySocket && window_->passReplies.checked())) {
                arrival(bytes);
            }
        };
    }
    if (auto error = std::move(socket.onError)) {
        socket.onError = [this, error = std::move(error)](int code, const std::string& description) {
            pause_->admit(nullptr, [error, code, description] { error(code, description); });
        };
    }
    if (auto sent = std::move(socket.onSendComplete)) {
        socket.onSendComplete = [this, sent = std::move(sent)] { pause_->admit(nullptr, sent); };
    }
}

// An empty field (or "?" when the key is missing) takes what the radio program knows, stored as if
// typed; one the operator filled is never overwritten, even with a value that cannot spot. Only a
// program without a window monitors with such a field, and only this machine's radio program may
// fill it: a stranger's call would spot and upload under a made-up name for good.
void Program::takeOwnStation(const Instance& sender, const std::string& call, const std::string& grid)
{
    WindowModel& w = *window_;
    const auto unset = [](const std::string& text) {
        const auto first = text.find_first_not_of(' ');
        return first == std::string::npos || text.substr(first, text.find_last_not_of(' ') - first + 1) == "?";
    };
    const bool takeCall = unset(w.callsign.text()) && call.size() >= 3 && call.size() <= w.callsign.maxLength() &&
                          fitsRecordField(call) && call.find(' ') == std::string::npos;
    std::string upper = grid;
    for (char& c : upper) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const bool takeGrid = unset(w.locator.text()) && isValidLocator6(upper);
    if (!takeCall && !takeGrid) {
        return;
    }
    if (!services_.isOwnAddress(sender.from.address)) {
        parts_->trace.write("  Callsign and locator of a Status from " + sender.from.address +
                            " not taken: not an address of this computer");
        return;
    }
    std::string taken;
    if (takeCall) {
        w.callsign.setText(call);
        w.callsign.loseFocus();
        taken = "callsign " + w.callsign.text();
    }
    if (takeGrid) {
        w.locator.setText(upper);
        w.locator.loseFocus();
        taken += (taken.empty() ? "locator " : " and locator ") + w.locator.text();
    }
    const std::string line = taken + " taken from " + escapeControlBytes(sender.id) + " at " + sender.from.address;
    parts_->trace.write("  " + line);
    if (services_.notice) {
        services_.notice(line);
    }
}

Program::~Program() = default;

const std::string& Program::appFolder() const
{
    return parts_->trace.appFolder();
}

Outbox& Program::outbox()
{
    return parts_->outbox;
}

void Program::store(const std::string& key, const std::string& value)
{
    if (parts_->settings) {
        parts_->settings->write(key, value);
    }
}

void Program::startUp()
{
    Parts& p = *parts_;
    WindowModel& w = *window_;
    Clock& clock = services_.clock;

    state_.isLoading = true;
    state_.spotsSince = clock.now();
    state_.spotCount = 0;
    state_.lastQrgChange = clock.now();
    state_.decodeCount = 0;
    w.setCaption("Quillfeed - V " + state_.versionText);
    p.trace.setAppFolder(appFolderFrom(services_.configFolder));
    state_.settingsPath = settingsPathFromArguments(arguments_, p.trace.appFolder());
    if (!services_.files.directoryExists(p.trace.appFolder())) {
        services_.files.createDirectory(p.trace.appFolder());
    }
    p.settings = std::make_unique<Settings>(services_.files, w, state_.settingsPath);
    p.settings->wireWriters([this] { return state_.isLoading; });
    p.settings->onSkipped = [&p](const std::string& line) { p.trace.write(line); };
    p.settings->createDefaultsIfMissing();
    startStatusPage();
    p.settings->load([&p] { p.monitor.clickStart(); }, [&w](int top, int left) { w.setPosition(top, left); });
    if (services_.noWindow && !w.autoMon.checked()) {
        p.monitor.clickStart(); // whatever MonitorOnStarup says: nobody is there to press the button
    }
    p.trace.write(w.caption);
    reportStatusPage();
    state_.isLoading = false;
    guarded(p.trace, "Start-up: Error in Winsock2: ", [this] { winsock2_->bind(0); });
    p.qso.prepareAtStartUp();
    removeLeftovers();
    p.outbox.startUp(outboxPathFor(state_.settingsPath, p.trace.appFolder()));
    savedTop_ = w.top();
    savedLeft_ = w.left();
    savedWidth_ = w.width();
    savedHeight_ = w.height();
    timerPosicion_->setInterval(kPositionTimerMs);
    timerPosicion_->setEnabled(true);
    p.health.update();
    timerHealth_->setInterval(kHealthTimerMs);
    timerHealth_->setEnabled(true);
}

// The temporary files of writes cut short by a kill, beside the settings and the outbox.
void Program::removeLeftovers()
{
    const std::string& app = parts_->trace.appFolder();
    const std::size_t slash = state_.settingsPath.find_last_of('/');
    const std::string settingsFolder = slash == std::string::npos ? "." : state_.settingsPath.substr(0, slash);
    for (const std::string& folder : {app, settingsFolder}) {
        for (const std::string& path : services_.files.removeLeftovers(folder)) {
            parts_->trace.write("Removed " + path + ", the temporary file of a write that was cut short");
        }
        if (settingsFolder == app) {
            break;
        }
    }
}

void Program::positionTick()
{
    timerPosicion_->setEnabled(false);
    const WindowModel& w = *window_;
    if ((w.top() != savedTop_ || w.left() != savedLeft_) && !w.minimized) {
        store("Top", std::to_string(w.top()));
        store("Left", std::to_string(w.left()));
        savedTop_ = w.top();
        savedLeft_ = w.left();
    }
    if (!w.minimized) {
        storeSizeIfChanged();
    }
    timerPosicion_->setEnabled(true);
}

void Program::storeSizeIfChanged()
{
    const WindowModel& w = *window_;
    if (w.width() != savedWidth_ || w.height() != savedHeight_) {
        store("Width", std::to_string(w.width()));
        store("Height", std::to_string(w.height()));
        savedWidth_ = w.width();
        savedHeight_ = w.height();
    }
}

void Program::closing()
{
    if (!window_->minimized) {
        store("Top", std::to_string(window_->top()));
        store("Left", std::to_string(window_->left()));
        storeSizeIfChanged();
    }
    ending();
}

void Program::ending()
{
    SpotSender& spots = parts_->spots;
    if (const std::size_t held = winsock2_->awaitingName(); held > 0) {
        parts_->trace.write("    " + std::to_string(held) +
                            " spot records still wait for the spot service's name to resolve and are not sent");
    }
    // Said on standard error with a window too: the trace may be off, and the QSOs are gone.
    if (const std::string lost = parts_->outbox.ending(); !lost.empty()) {
        const auto& say = services_.notice ? services_.notice : services_.standardError;
        if (say) {
            say(lost);
        }
    }
    if (!spots.queue().empty()) {
        parts_->trace.write("    Sending the " + std::to_string(spots.queue().size()) +
                            " queued spots before the program ends");
        spots.sendQueue();
    }
}

// The health line is made from what the behaviours report; without a window its news goes to
// standard error, and a start that found the port taken is tried again every minute.
void Program::wireHealth()
{
    Parts& p = *parts_;
    p.health.notice = services_.notice;
    p.monitor.letOwnStationWait(services_.noWindow);
    p.monitor.isOwnAddress = services_.isOwnAddress;
    p.health.destinations = [this] {
        const WindowModel& w = *window_;
        std::string text;
        if (!w.servIP.text().empty() && !w.servPort.text().empty()) {
            text = ", relaying to " + w.servIP.text() + ":" + w.servPort.text();
            // A long list is counted, not copied: the line is one line of a journal.
            const std::size_t further = parts_->extraRelays.size();
            if (further > 0 && w.moreRelays.text().size() <= 80) {
                text += " and " + w.moreRelays.text();
            } else if (further > 0) {
                text += " and " + std::to_string(further) + " further targets";
            }
        }
        return text + ", spots to " + services_.spotServiceHost + " port " + std::to_string(kSpotServicePort);
    };
    p.monitor.onStarted = [this, &p](bool restart) {
        timerRetry_->setEnabled(false);
        p.health.started(restart);
    };
    p.monitor.onBindFailed = [this, &p](int code, const std::string& description) {
        p.health.startFailed(window_->udpPort.text(), code, description);
        if (services_.noWindow) {
            timerRetry_->setEnabled(true);
        }
    };
    timerRetry_->setInterval(kRetryStartMs);
    timerRetry_->onTick = [&p] {
        if (!p.monitor.monitoring()) {
            p.monitor.clickStart();
        }
    };
    p.spots.onBatchSent = [&p] { p.health.spotBatchSent(); };
    p.spots.onSendFailed = [&p](int code, const std::string& d) { p.health.spotRefused(code, d); };
    p.outbox.onDelivered = [&p](const std::string& record) { p.health.qsoSent(callOfRecord(record)); };
    p.outbox.onKept = [&p](const std::string& record, const std::string& reason, bool again) {
        p.health.qsoFailed(callOfRecord(record), reason, again);
    };
    p.outbox.watchCount([&p](std::size_t waiting, std::size_t inMemory) { p.health.outboxChanged(waiting, inMemory); });
    p.qso.onAnswer = [&p](const std::string& answer) {
        p.health.serviceAnswered(answer);
        p.outbox.answered();
    };
    timerHealth_->onTick = [&p] { p.health.update(); };
}

// The status page: a snapshot of what the parts count, noted where nothing else keeps it.
struct Program::StatusParts {
    explicit StatusParts(StatusSources sources)
        : board(std::move(sources)), page([this] { return board.json(); }, machineName())
    {
    }
    StatusBoard board;
    StatusPage page;
};

void Program::wireStatus()
{
    Parts& p = *parts_;
    status_ =
        std::make_unique<StatusParts>(StatusSources{*window_, state_, instances_, p.health, p.relay, p.extraRelays,
                                                    p.spots, p.outbox, services_.clock, callOfRecord});
    StatusBoard& board = status_->board;
    p.intake.mainRelayTally = &p.relay.tally;
    p.spots.onQueued = [&board](const HeardStation& s) { board.spotQueued(s); };
    p.spots.onSendFailed = [&board, told = std::move(p.spots.onSendFailed)](int code, const std::string& d) {
        if (told) {
            told(code, d);
        }
        board.spotRefused(code, d);
    };
    winsock2_->onError = [&board, traced = std::move(winsock2_->onError)](int code, const std::string& d) {
        if (traced) {
            traced(code, d);
        }
        board.spotRefused(code, d);
    };
    p.outbox.onDelivered = [&board, told = std::move(p.outbox.onDelivered)](const std::string& record) {
        if (told) {
            told(record);
        }
        board.qsoDelivered(callOfRecord(record));
    };
    timerHealth_->onTick = [&board, tick = std::move(timerHealth_->onTick)] {
        if (tick) {
            tick();
        }
        board.tick();
    };
    p.health.destinations = [this, told = std::move(p.health.destinations)] {
        std::string text = told ? told() : std::string();
        return status_->page.on() ? text + ", " + status_->page.line() : text;
    };
}

// Before the settings are loaded, so that the start line of an automatic start can tell the address.
void Program::startStatusPage()
{
    if (!services_.makeStatusServer) {
        return;
    }
    Settings& settings = *parts_->settings;
    const StatusEndpoint where =
        statusEndpointFrom(settings.read(kStatusPortKey), settings.read(kStatusAddressKey), services_.isOwnAddress);
    const bool wanted = where.port != 0 && where.problem.empty();
    status_->page.start(wanted ? services_.makeStatusServer() : nullptr, where);
    window_->statusPage = status_->page.line();
}

// Once tracing is as the settings say: a page that is off for a reason is said once.
void Program::reportStatusPage()
{
    const StatusPage& page = status_->page;
    if (page.line().empty()) {
        return;
    }
    parts_->trace.write(page.line());
    if (!page.on() && services_.notice) {
        services_.notice(page.line());
    }
}

std::string Program::statusJson()
{
    return status_->board.json();
}

} // namespace qf
