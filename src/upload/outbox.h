// The QSO records the spot service has not had yet: kept in a plain text file, one record a line,
// byte for byte as sent, and sent again through the log socket until one goes and is not refused.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "trace/trace_writer.h"
#include "window/window_model.h"

namespace qf {

// "N QSOs wait in the outbox", "1 QSO waits in the outbox"; at zero, that all were delivered.
std::string outboxCountText(std::size_t count);

// Why a line of the file cannot be a record; empty when it can.
std::string_view unusableRecordLine(std::string_view line);

class Outbox {
  public:
    static constexpr int kResendMs = 60 * 1000;
    // An error event on the log socket this soon after a send means the send did not arrive.
    static constexpr int kRefusalWindowMs = 5 * 1000;
    static constexpr std::size_t kMaxRecordBytes = 1000;

    // notice: a line for the operator without a window (may be empty).
    Outbox(WindowModel& window, FileSystem& files, TraceWriter& trace, UdpSocket& logSocket, Timer& resendTimer,
           Timer& refusalTimer, std::function<void(const std::string&)> notice);

    // Start-up, the log socket prepared: reads the file and sends what it holds.
    void startUp(std::string path);
    // A record that did not go: in the file before anything else happens.
    void keep(const std::string& record, const std::string& reason);
    // A record that went without an error: remembered for the refusal window; then the outbox goes too.
    void sent(const std::string& record);
    // The log socket's events. An error cannot be told apart per datagram: it keeps every record of
    // the refusal window. An answer means the service has them.
    void socketError(int code, const std::string& description);
    void answered();
    // The program ends: a record still waiting for the service's name would go down with the socket.
    void ending();

    std::size_t waiting() const;
    // The records waiting, oldest first.
    std::vector<std::string> waitingRecords() const;
    // Told of each record that reached the service (not refused within the window, or answered),
    // and of each record kept, with the reason; again: it was already in the outbox, sent again.
    std::function<void(const std::string& record)> onDelivered;
    std::function<void(const std::string& record, const std::string& reason, bool again)> onKept;
    // Told the new count whenever it changes.
    void watchCount(std::function<void(std::size_t)> listener) { countListeners_.push_back(std::move(listener)); }

  private:
    struct Entry {
        std::string record;
        bool stored = false;   // in the file (or waiting in memory to be written)
        bool inFlight = false; // sent, within the refusal window
    };

    void load();
    bool save();
    void sendWaiting();
    void refusalWindowEnded();
    void deliverInFlight();
    void afterChange();
    void tell(const std::string& text);

    WindowModel& window_;
    FileSystem& files_;
    TraceWriter& trace_;
    UdpSocket& logSocket_;
    Timer& resendTimer_;
    Timer& refusalTimer_;
    std::function<void(const std::string&)> notice_;
    std::vector<std::function<void(std::size_t)>> countListeners_;

    std::string path_;
    std::vector<Entry> entries_; // oldest first
    // Lines of the file that are no record: never sent, and kept as the operator left them.
    std::vector<std::string> foreignLines_;
    bool loaded_ = false;
    bool unsaved_ = false;
    bool unreadableTold_ = false;
    bool unwritableTold_ = false;
    std::size_t toldCount_ = 0;
};

} // namespace qf
