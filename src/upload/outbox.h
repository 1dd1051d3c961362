// The QSO records the spot service has not had yet: kept in a plain text file, one record a line,
// byte for byte as sent, and sent again through the log socket until one goes and is not refused.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "trace/trace_writer.h"
#include "window/window_model.h"

namespace qf {

// "N QSOs wait in the outbox", "1 QSO waits in the outbox", and how many of them only memory holds
// (" (1 held only in memory)"); at zero, that all were delivered.
std::string outboxCountText(std::size_t count, std::size_t inMemory = 0);

// Why a line of the file cannot be a record; empty when it can.
std::string_view unusableRecordLine(std::string_view line);

// The other station's call: field 6 of "QFLOG|version|A|own call|date-time|call|...".
std::string callOfRecord(const std::string& record);

// Another program may keep the same file (the same settings twice): every change of the file is a
// locked read, merge and write, and only the program holding the lock file beside it (the resender)
// sends the file's records again. They stay in the file until delivered, so that a kill loses none.
class Outbox {
  public:
    static constexpr int kResendMs = 60 * 1000;
    // An error event on the log socket this soon after a send means the send did not arrive.
    static constexpr int kRefusalWindowMs = 5 * 1000;
    static constexpr std::size_t kMaxRecordBytes = 1000;
    // Sent again at most this many at a time, one refusal window apiece: a long outbox leaves at
    // 4 records a second, not as one burst.
    static constexpr std::size_t kBatch = 20;

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
    // The program ends: every record still in its refusal window goes to the file, since a QSO sent
    // twice does less harm than one lost. Gives the line that names those that could not be written
    // and are lost (empty when none).
    std::string ending();

    // The records waiting: in the file (as last read) and held in memory, in flight or not.
    std::size_t waiting() const;
    // Those of them that no file holds, because it could not be written.
    std::size_t heldInMemory() const;
    // The records waiting, oldest first.
    std::vector<std::string> waitingRecords() const;
    // Told of each record that reached the service (not refused within the window, or answered),
    // and of each record kept, with the reason; again: it was already in the outbox, sent again.
    std::function<void(const std::string& record)> onDelivered;
    std::function<void(const std::string& record, const std::string& reason, bool again)> onKept;
    // Told the new counts whenever they change.
    void watchCount(std::function<void(std::size_t waiting, std::size_t inMemory)> listener)
    {
        countListeners_.push_back(std::move(listener));
    }

  private:
    // Where a record in flight waits meanwhile: nowhere yet (its first send), still in the file, or
    // taken out of memory.
    enum class From { First, File, Memory };
    struct InFlight {
        std::string record;
        From from = From::First;
        bool again() const { return from != From::First; }
    };
    using Change = std::function<bool(std::vector<std::string>& records)>;

    // Under the file's lock: reads it, lets change edit its records and writes them back when it
    // says so. False, and nothing changed, when the file could not be read or written.
    bool update(const Change& change);
    // Records back into the outbox: the file, or memory when the file cannot take them.
    void putBack(const std::vector<std::string>& older, const std::vector<std::string>& newer);
    bool isResender();
    void sendWaiting();
    // Sends a batch that came from the outbox; false when the socket failed.
    void sendAgain(std::vector<std::string> batch, From from);
    void refusalWindowEnded();
    void deliverInFlight();
    void afterChange();
    void tell(const std::string& text);
    void tellUnwritable();

    WindowModel& window_;
    FileSystem& files_;
    TraceWriter& trace_;
    UdpSocket& logSocket_;
    Timer& resendTimer_;
    Timer& refusalTimer_;
    std::function<void(const std::string&)> notice_;
    std::vector<std::function<void(std::size_t, std::size_t)>> countListeners_;

    std::string path_;
    std::vector<std::string> inFile_;    // as last read or written, oldest first
    std::vector<InFlight> inFlight_;     // sent, within the refusal window
    std::vector<std::string> unwritten_; // kept, but the file could not take them
    std::vector<std::string> delivered_; // still in the file, to go with its next write
    std::unique_ptr<FileLock> resender_;
    bool linesTraced_ = false;
    bool unreadable_ = false;
    bool unwritableTold_ = false;
    std::size_t toldCount_ = 0;
    std::size_t toldInMemory_ = 0;
};

} // namespace qf
