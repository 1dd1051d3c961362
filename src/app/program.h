// The program as a whole, without Qt: owns the window model, the sockets, the timers and
// every behaviour, wires them together and runs start-up, the position timer and closing.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "intake/instances.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/local_addresses.h"
#include "platform/pause.h"
#include "platform/regional.h"
#include "platform/shell.h"
#include "platform/status_server.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

class Outbox;

struct PlatformServices {
    Clock& clock;
    FileSystem& files;
    Dialogs& dialogs;
    Shell& shell;
    Regional& regional;
    std::function<std::unique_ptr<UdpSocket>()> makeSocket;
    std::function<std::unique_ptr<Timer>()> makeTimer;
    // The per-user configuration folder ($XDG_CONFIG_HOME or ~/.config); empty when unknown.
    std::string configFolder;
    std::string spotServiceHost = QUILLFEED_SPOT_HOST;
    std::string webAddress = QUILLFEED_WEB_ADDRESS;
    std::string versionText = QUILLFEED_VERSION_TEXT;
    // Without a window: one line for standard error ("quillfeed: " + text). Unset with a window.
    std::function<void(const std::string& text)> notice = {};
    // A line for standard error with a window too: what is lost as the program ends.
    std::function<void(const std::string& text)> standardError = {};
    // Run without a window: nobody can press Start, so monitoring starts by itself and a start
    // that found the port taken is tried again every minute.
    bool noWindow = false;
    // Whether a dotted address is one of this machine's; the tests give their own answer.
    std::function<bool(const std::string& dotted)> isOwnAddress = isAddressOfThisMachine;
    // The status page's web server; without one there is no page.
    std::function<std::unique_ptr<StatusServer>()> makeStatusServer = {};
};

class Program {
  public:
    Program(PlatformServices services, std::vector<std::string> arguments);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up, steps 1 to 14; the window is shown after it returns.
    void startUp();
    // The window is closing: its position is saved unless it is minimised; then ending().
    void closing();
    // The program ends (window closed, or a signal without a window): the spots still queued go out.
    void ending();

    WindowModel& window() { return *window_; }
    RunState& state() { return state_; }
    // The radio programs heard.
    Instances& instances() { return instances_; }

    // The four sockets and three timers, for the tests and the view's diagnostics.
    UdpSocket& winsock1() { return *winsock1_; }
    UdpSocket& winsock2() { return *winsock2_; }
    UdpSocket& winsock3() { return *winsock3_; }
    UdpSocket& winsockServ() { return *winsockServ_; }
    Timer& timerRx() { return *timerRx_; }
    Timer& timerSpots() { return *timerSpots_; }
    Timer& timerPosicion() { return *timerPosicion_; }
    Timer& timerHealth() { return *timerHealth_; }
    Timer& timerRetry() { return *timerRetry_; }

    const std::string& appFolder() const;
    // The QSO records not yet delivered: their count and its changes.
    Outbox& outbox();
    // What the status page shows, as /status.json gives it.
    std::string statusJson();

  private:
    struct Parts;
    void store(const std::string& key, const std::string& value);
    void positionTick();
    void storeSizeIfChanged();
    void removeLeftovers();
    void holdDuringPause();
    // A relay socket's answers are taken during the pause too when they may be passed back, so
    // that they are refused then rather than passed late.
    void holdDuringPause(UdpSocket& socket, bool relaySocket = false);
    void takeOwnStation(const Instance& sender, const std::string& call, const std::string& grid);
    void wireHealth();
    struct StatusParts;
    void wireStatus();
    void startStatusPage();
    void reportStatusPage();
    PlatformServices services_;
    std::vector<std::string> arguments_;
    std::unique_ptr<WindowModel> window_;
    RunState state_;
    Instances instances_;
    std::unique_ptr<UdpSocket> winsock1_, winsock2_, winsock3_, winsockServ_;
    std::unique_ptr<Timer> timerRx_, timerSpots_, timerPosicion_, timerHealth_, timerRetry_, timerOutbox_,
        timerOutboxRefusal_;
    std::unique_ptr<Pause> pause_;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<StatusParts> status_; // reads the parts: goes first
    int savedTop_ = 0;
    int savedLeft_ = 0;
    int savedWidth_ = 0;
    int savedHeight_ = 0;
};

} // namespace qf
