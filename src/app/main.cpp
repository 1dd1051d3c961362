// Quillfeed: listens for WSJT-X and JTDX datagrams, relays them, spots the stations heard
// calling and uploads logged QSOs.
#include <QApplication>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "app/main_window.h"
#include "app/program.h"
#include "platform/config_folder.h"
#include "platform/console.h"
#include "platform/posix_file_system.h"
#include "platform/qt/qt_clock.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_regional.h"
#include "platform/qt/qt_status_server.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_udp_socket.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    if (::write(signalPipe[1], &c, 1) < 0) {
        // Nothing can be done inside a signal handler.
    }
}

const char* kUsage = "Usage: quillfeed [--no-window] [/C=FILE]\n"
                     "       quillfeed --version | --help\n"
                     "\n"
                     "Listens for WSJT-X and JTDX UDP datagrams (port 2237, unicast or multicast), shows and\n"
                     "traces them, relays each one unchanged to a second address (127.0.0.1 port 52237 by\n"
                     "default) and to any further targets listed in the window, reports the stations heard\n"
                     "calling to the Orbalis spot service (" QUILLFEED_SPOT_HOST " port 7350) and uploads logged QSOs\n"
                     "to the operator's online log.\n"
                     "Every setting is made in the window and kept the moment it changes.\n"
                     "\n"
                     "Options:\n"
                     "  /C=FILE      use another settings file: a plain name is upper-cased and kept in the\n"
                     "               settings folder (/C=radio2.ini uses RADIO2.INI there); a name that starts\n"
                     "               with / is a full path used as given. Lets several copies run side by side.\n"
                     "  --no-window  run without a window, for a station without a display or as a service.\n"
                     "               The settings come from the settings file (make them once in the window,\n"
                     "               or edit it). Monitoring starts by itself, and a port found taken is\n"
                     "               tried again every minute. A message the window would show in a box, and\n"
                     "               what its health line would show, is written to standard error as one\n"
                     "               line \"quillfeed: ...\". SIGTERM, SIGINT or SIGHUP ends it, once the\n"
                     "               queued spots are sent.\n"
                     "  --version    print the version and exit\n"
                     "  --help       print this text and exit\n"
                     "\n"
                     "Files, in $XDG_CONFIG_HOME/Quillfeed (normally ~/.config/Quillfeed):\n"
                     "  config.ini   the settings (section OPTIONS, twelve keys), written the moment they change;\n"
                     "               MoreRelays, from the field \"Also resend to\", lists further relay targets as\n"
                     "               host:port items separated by blanks, for example a logger, a map and an\n"
                     "               alert program on this machine and a second logger on the shack PC:\n"
                     "               MoreRelays=127.0.0.1:2238 127.0.0.1:2333 127.0.0.1:2334 shack-pc:2237\n"
                     "               (a relay target that is Quillfeed's own port is not used);\n"
                     "               PassReplies=1, from \"Pass replies back to WSJT-X/JTDX\", passes what those\n"
                     "               programs answer (a logger's Reply, Halt Tx) back to the radio program\n"
                     "               their Id names, when WSJT-X accepts UDP requests;\n"
                     "               ListenAddress=127.0.0.1, from \"Only from this computer\", listens on that\n"
                     "               address alone (any address of this machine; empty: all of them);\n"
                     "               StatusPort (8737 when missing; 0 turns the page off) and StatusAddress\n"
                     "               (127.0.0.1 when missing: this machine only; 0.0.0.0: every address, for\n"
                     "               the LAN) place the status page\n"
                     "  Trace.txt    the trace, written while \"Write tracefile\" is ticked\n"
                     "\n"
                     "Point WSJT-X or JTDX at it: Settings > Reporting > UDP Server 127.0.0.1, port 2237.\n"
                     "Two radios (two WSJT-X instances, or WSJT-X and JTDX) may share the port: each is\n"
                     "told apart by its Id and spotted with its own dial frequency.\n"
                     "A read-only page in the browser shows what every radio program, relay target, spot batch\n"
                     "and QSO is doing, with the last hour drawn: status page: http://127.0.0.1:8737/\n"
                     "(the same as JSON at /status.json). From another machine: ssh -L 8737:127.0.0.1:8737 pi\n"
                     "and open http://127.0.0.1:8737/ there.\n"
                     "As a user service: systemctl --user enable --now quillfeed (runs quillfeed --no-window);\n"
                     "its messages: journalctl --user -u quillfeed. More in quillfeed(1).\n";

const char* kNoDisplay = "quillfeed: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
                         "run \"quillfeed --no-window\" to work without a window\n";

bool displayNamed()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// The toolkit ends a program whose display cannot be opened with an abort and advice to reinstall;
// this one says what is wrong and how to run without a window.
QtMessageHandler toolkitHandler = nullptr;
void onToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        toolkitHandler(type, context, message);
        return;
    }
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "quillfeed: cannot open the window on the display%s%s; run \"quillfeed --no-window\" to work "
                 "without a window\n",
                 display != nullptr ? " " : "", display != nullptr ? display : "");
    std::_Exit(2);
}

// The platform services both front ends share; message boxes and the shell are theirs.
struct Platform {
    qf::QtClock clock;
    qf::PosixFileSystem files;
    qf::QtRegional regional;

    qf::PlatformServices services(qf::Dialogs& dialogs, qf::Shell& shell)
    {
        qf::PlatformServices s{clock,
                               files,
                               dialogs,
                               shell,
                               regional,
                               [] { return std::make_unique<qf::QtUdpSocket>(); },
                               [] { return std::make_unique<qf::QtTimer>(); },
                               qf::configFolder()};
        s.makeStatusServer = [] { return std::make_unique<qf::QtStatusServer>(); };
        s.standardError = [](const std::string& text) { qf::writeConsoleLine(stderr, text); };
        return s;
    }
};

// SIGTERM, SIGINT and SIGHUP reach the event loop as a call of `stop`.
void watchSignals(QObject* context, const std::function<void()>& stop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
        QObject::connect(notifier, &QSocketNotifier::activated, context, [stop] {
            char c;
            if (::read(signalPipe[0], &c, 1) > 0) {
                stop();
            }
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        std::signal(SIGHUP, onSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Past a file-size limit (ulimit -f) a write fails like any other instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
}

// A diagnostic for bench/responsiveness.sh, off unless QUILLFEED_STALL_PROBE names a file: notes
// every tick of a 10 ms timer that comes over 5 ms late, and when the text QUILLFEED_STALL_PROBE_MARK
// first reaches the raw pane; written to that file as the program ends. With
// QUILLFEED_STALL_PROBE_RESTART=MS it also ages the last datagram past five minutes MS after start
// and lets the watchdog tick, so that a restart can be measured without waiting six minutes.
void startStallProbe(QCoreApplication& app, QWidget* window, qf::Program& program)
{
    using namespace std::chrono;
    const char* path = std::getenv("QUILLFEED_STALL_PROBE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    struct Probe {
        std::string path;
        QString mark = QString::fromLatin1(qgetenv("QUILLFEED_STALL_PROBE_MARK"));
        steady_clock::time_point last = steady_clock::now();
        std::vector<std::pair<std::int64_t, std::int64_t>> stalls; // tick at (ns), late by (us)
        std::int64_t markShown = 0;
        std::int64_t restartAt = 0;
    };
    auto probe = std::make_shared<Probe>();
    probe->path = path;
    const auto nowNs = [] { return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count(); };
    auto* timer = new QTimer(&app);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, [probe] {
        const auto now = steady_clock::now();
        const auto late = duration_cast<microseconds>(now - probe->last - milliseconds(10)).count();
        probe->last = now;
        if (late > 5000 && probe->stalls.size() < 100000) {
            probe->stalls.emplace_back(duration_cast<nanoseconds>(now.time_since_epoch()).count(), late);
        }
    });
    timer->start(10);
    auto* log = window != nullptr ? window->findChild<QPlainTextEdit*>(QStringLiteral("TBLog")) : nullptr;
    if (log != nullptr && !probe->mark.isEmpty()) {
        QTextDocument* document = log->document();
        QObject::connect(document, &QTextDocument::contentsChange, [probe, document, nowNs](int from, int, int added) {
            if (probe->markShown == 0 && added > 0 && !document->find(probe->mark, from).isNull()) {
                probe->markShown = nowNs();
            }
        });
    }
    const int restartAfterMs = qEnvironmentVariableIntValue("QUILLFEED_STALL_PROBE_RESTART");
    if (restartAfterMs > 0) {
        QTimer::singleShot(restartAfterMs, &app, [probe, nowNs, &program] {
            qf::RunState& state = program.state();
            state.lastFrameTime = qf::fromSeconds(qf::toSeconds(state.lastFrameTime) - 600);
            probe->restartAt = nowNs();
            if (program.timerRx().onTick) {
                program.timerRx().onTick();
            }
        });
    }
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [probe] {
        if (FILE* out = std::fopen(probe->path.c_str(), "w")) {
            std::fprintf(out, "mark_shown_ns %lld\n", static_cast<long long>(probe->markShown));
            std::fprintf(out, "restart_ns %lld\n", static_cast<long long>(probe->restartAt));
            for (const auto& [at, late] : probe->stalls) {
                std::fprintf(out, "stall %lld %lld\n", static_cast<long long>(at), static_cast<long long>(late));
            }
            std::fclose(out);
        }
    });
}

int runWithoutWindow(int argc, char* argv[], const std::vector<std::string>& arguments)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Quillfeed");
    QCoreApplication::setApplicationVersion(QUILLFEED_VERSION_TEXT);
    Platform platform;
    qf::ConsoleDialogs dialogs;
    qf::ConsoleShell shell;
    qf::PlatformServices services = platform.services(dialogs, shell);
    services.notice = [](const std::string& text) { qf::writeConsoleLine(stderr, text); };
    services.noWindow = true;
    qf::Program program(std::move(services), arguments);
    // No window, so no position to keep: a signal ends the program once the queued spots are out.
    watchSignals(&app, [&program] {
        program.ending();
        QCoreApplication::exit(0);
    });
    program.startUp();
    startStallProbe(app, nullptr, program);
    return QCoreApplication::exec();
}

int runWithWindow(int argc, char* argv[], const std::vector<std::string>& arguments)
{
    toolkitHandler = qInstallMessageHandler(onToolkitMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(toolkitHandler);
    QApplication::setApplicationName("Quillfeed");
    QApplication::setApplicationVersion(QUILLFEED_VERSION_TEXT);
    QApplication::setDesktopFileName(QUILLFEED_APP_ID);

    Platform platform;
    qf::QtDialogs dialogs;
    qf::QtShell shell;
    qf::Program program(platform.services(dialogs, shell), arguments);
    qf::MainWindow window(program.window());
    window.onClosing = [&program] { program.closing(); };

    bool quitRequested = false;
    // A desktop logout or a kill asks the window to close, so the position is saved as usual.
    watchSignals(&window, [&] {
        if (window.isVisible() && QApplication::activeModalWidget() == nullptr) {
            window.close();
            return;
        }
        // A message box is open (perhaps during start-up, before the window shows): leave
        // every event loop at once.
        quitRequested = true;
        program.closing();
        QApplication::exit(0);
    });

    program.startUp();
    if (quitRequested) {
        return 0;
    }
    window.show();
    startStallProbe(app, &window, program);
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    bool noWindow = false;
    // Taken as given: QApplication removes its own options, and the value of one of them
    // ("-style /C=radio.ini") would take the settings option with it.
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Quillfeed %s\n", QUILLFEED_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--no-window") == 0) {
            noWindow = true;
        } else {
            arguments.emplace_back(argv[i]);
        }
    }
    if (noWindow) {
        return runWithoutWindow(argc, argv, arguments);
    }
    if (!displayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 2;
    }
    return runWithWindow(argc, argv, arguments);
}
