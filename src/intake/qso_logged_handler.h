// QSO Logged messages: every field traced, and with the log-upload option on, one QFLOG record
// sent to the spot service; also the option's socket actions and the log socket's events.
#pragma once

#include <functional>
#include <string>

#include "intake/wire_reader.h"
#include "platform/udp_socket.h"
#include "trace/trace_writer.h"
#include "window/run_state.h"
#include "window/window_model.h"

namespace qf {

struct QsoLogged {
    double idLen = 0;
    std::string idKey;
    double dateOff = 0;
    double timeOff = 0;
    double timeSpecOff = 0;
    std::string dxCall;
    std::string dxLoc;
    double txQrg = 0;
    std::string modo;
    std::string repSent;
    std::string repRcvd;
    std::string txPwr;
    std::string comm;
    std::string name;
    double dateOn = 0;
    double timeOn = 0;
    double timeSpecOn = 0;
    std::string opCall;
    std::string myCall;
    std::string myLoc;
    std::string exchSent;
    std::string exchRcvd;
    // Every field up to MyLoc lay inside the datagram.
    bool complete = false;
};

// Reads fields 1 to 22; a step that fails is passed to onFailure and the next one runs.
QsoLogged readQsoLogged(const std::string& datagram, const std::function<void(const std::function<void()>&)>& step);

// "QFLOG|" + version + "|A|" + own callsign + "|" + yyyymmddhhmmss + "|" + call + "|" + kHz + "|" + mode + "|" + grid +
// "|"
std::string qsoUploadRecord(const std::string& version, const std::string& ownCall, const std::string& dateTime,
                            const QsoLogged& q);

// yyyymmdd with at least four digits of year, a negative year after its "-".
std::string recordDate(const CalendarDate& d);

class QsoLoggedHandler {
  public:
    QsoLoggedHandler(WindowModel& window, RunState& state, TraceWriter& trace, UdpSocket& logSocket,
                     std::string spotServiceHost);

    void handle(const std::string& datagram, double schema);
    // Click on the log-upload box, after its setting was stored.
    void logUploadClicked();
    // The text of an answer the service sent to the log socket, after its trace lines.
    std::function<void(const std::string& answer)> onAnswer;
    // Start-up: close; with the option on, the service's address; then any free local port.
    void prepareAtStartUp();

    // A record that went out without an error from the send itself.
    std::function<void(const std::string& record)> onSent;
    // A record left unsent by a failing upload step, with the reason.
    std::function<void(const std::string& record, const std::string& reason)> onUnsent;

  private:
    void onDataArrival(int bytesTotal);
    void onError(int code, const std::string& description);

    WindowModel& window_;
    RunState& state_;
    TraceWriter& trace_;
    UdpSocket& logSocket_;
    std::string host_;
};

} // namespace qf
