#include "upload/outbox.h"

#include <algorithm>

#include "trace/failure_rule.h"

namespace qf {
namespace {

constexpr std::string_view kRecordStart = "QFLOG|";

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string outboxCountText(std::size_t count, std::size_t inMemory)
{
    if (count == 0) {
        return "0 QSOs wait in the outbox: all were delivered";
    }
    std::string text = count == 1 ? "1 QSO waits in the outbox" : std::to_string(count) + " QSOs wait in the outbox";
    if (inMemory > 0) {
        text += " (" + std::to_string(inMemory) + " held only in memory)";
    }
    return text;
}

std::string_view unusableRecordLine(std::string_view line)
{
    if (line.empty()) {
        return "empty";
    }
    if (line.size() > Outbox::kMaxRecordBytes) {
        return "over 1000 bytes";
    }
    if (!line.starts_with(kRecordStart)) {
        return "no \"QFLOG|\" start";
    }
    // A line break would split the record in two lines of the file.
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        return "a line break in it";
    }
    return {};
}

std::string callOfRecord(const std::string& record)
{
    std::size_t start = 0;
    for (int field = 1; field < 6 && start != std::string::npos; ++field) {
        start = record.find('|', start);
        start = start == std::string::npos ? start : start + 1;
    }
    if (start == std::string::npos) {
        return {};
    }
    return record.substr(start, record.find('|', start) - start);
}

Outbox::Outbox(WindowModel& window, FileSystem& files, TraceWriter& trace, UdpSocket& logSocket, Timer& resendTimer,
               Timer& refusalTimer, std::function<void(const std::string&)> notice)
    : window_(window), files_(files), trace_(trace), logSocket_(logSocket), resendTimer_(resendTimer),
      refusalTimer_(refusalTimer), notice_(std::move(notice))
{
    resendTimer_.setInterval(kResendMs);
    resendTimer_.onTick = [this] {
        sendWaiting();
        afterChange();
    };
    refusalTimer_.setInterval(kRefusalWindowMs);
    refusalTimer_.onTick = [this] { refusalWindowEnded(); };
}

// Records in flight from the file are in inFile_ too: only those taken out of memory count apart.
std::vector<std::string> Outbox::waitingRecords() const
{
    std::vector<std::string> records = inFile_;
    for (const InFlight& f : inFlight_) {
        if (f.from == From::Memory) {
            records.push_back(f.record);
        }
    }
    records.insert(records.end(), unwritten_.begin(), unwritten_.end());
    return records;
}

std::size_t Outbox::waiting() const
{
    return inFile_.size() + heldInMemory();
}

std::size_t Outbox::heldInMemory() const
{
    const auto taken =
        std::count_if(inFlight_.begin(), inFlight_.end(), [](const InFlight& f) { return f.from == From::Memory; });
    return static_cast<std::size_t>(taken) + unwritten_.size();
}

void Outbox::startUp(std::string path)
{
    path_ = std::move(path);
    update([](std::vector<std::string>&) { return false; });
    if (waiting() > 0) {
        trace_.write("Outbox: " + outboxCountText(waiting()));
    }
    // Taken only for records to send: no lock file beside an outbox that is not there.
    if (!inFile_.empty()) {
        isResender();
    }
    sendWaiting();
    afterChange();
}

bool Outbox::update(const Change& change)
{
    std::vector<std::string> records;
    // Nothing to read: the lock, which makes the file, only when there is something to write.
    if (unwritten_.empty() && !files_.fileExists(path_) && !change(records)) {
        inFile_.clear();
        delivered_.clear();
        unreadable_ = false;
        return true;
    }
    const std::unique_ptr<FileLock> lock = files_.lockFile(path_);
    if (!lock) {
        unreadable_ = true; // looked at again every minute
        tellUnwritable();
        return false;
    }
    records.clear();
    std::vector<std::string> foreign;
    if (files_.fileExists(path_)) {
        const std::optional<std::string> content = files_.read(path_);
        if (!content) {
            // Writing over records we could not read would lose them.
            if (!unreadable_) {
                unreadable_ = true;
                tell("cannot read " + path_ + "; it is left as it is and read again every minute");
            }
            return false;
        }
        std::size_t lineNumber = 0;
        for (std::size_t pos = 0; pos < content->size();) {
            const std::size_t lf = std::min(content->find('\n', pos), content->size());
            std::string_view line(content->data() + pos, lf - pos);
            pos = lf + 1;
            ++lineNumber;
            // A line ending of an editor from another system.
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            const std::string_view unusable = unusableRecordLine(line);
            if (unusable.empty()) {
                records.emplace_back(line);
                continue;
            }
            if (!line.empty()) {
                foreign.emplace_back(line);
            }
            if (linesTraced_) {
                continue;
            }
            trace_.write("Outbox: line " + std::to_string(lineNumber) +
                         (line.empty()
                              ? std::string(" is empty, dropped")
                              : " is no QSO record (" + std::string(unusable) + "), not sent; it stays in the file"));
        }
        linesTraced_ = true;
    }
    unreadable_ = false;
    // Delivered records leave with this write: the first equal line each, so that a record another
    // program kept meanwhile stays. Those no longer there are gone already.
    std::vector<std::string> leaving;
    for (const std::string& record : delivered_) {
        if (const auto it = std::find(records.begin(), records.end(), record); it != records.end()) {
            records.erase(it);
            leaving.push_back(record);
        }
    }
    delivered_ = std::move(leaving);
    const std::vector<std::string> read = records;
    // What memory held is older than what this change brings.
    records.insert(records.end(), unwritten_.begin(), unwritten_.end());
    if (!change(records) && unwritten_.empty() && delivered_.empty()) {
        inFile_ = read;
        return true;
    }
    std::string content;
    for (const std::string& line : foreign) {
        content += line + '\n';
    }
    for (const std::string& record : records) {
        content += record + '\n';
    }
    if (!files_.writeByRename(path_, content)) {
        inFile_ = read;
        tellUnwritable();
        return false;
    }
    inFile_ = std::move(records);
    unwritten_.clear();
    delivered_.clear();
    if (unwritableTold_) {
        unwritableTold_ = false;
        tell(path_ + " is written again");
    }
    return true;
}

void Outbox::putBack(const std::vector<std::string>& older, const std::vector<std::string>& newer)
{
    const bool written = update([&](std::vector<std::string>& records) {
        records.insert(records.begin(), older.begin(), older.end());
        records.insert(records.end(), newer.begin(), newer.end());
        return !older.empty() || !newer.empty();
    });
    if (!written) {
        unwritten_.insert(unwritten_.begin(), older.begin(), older.end());
        unwritten_.insert(unwritten_.end(), newer.begin(), newer.end());
    }
}

void Outbox::keep(const std::string& record, const std::string& reason)
{
    const std::string_view unusable = unusableRecordLine(record);
    if (!unusable.empty()) {
        trace_.write("   QSO not kept in the outbox (" + std::string(unusable) + "): *" + record + "*");
        return;
    }
    putBack({}, {record});
    trace_.write("   QSO kept in the outbox: " + reason + " *" + record + "*");
    if (onKept) {
        onKept(record, reason, false);
    }
    afterChange();
}

void Outbox::sent(const std::string& record)
{
    inFlight_.push_back(InFlight{record, From::First});
    refusalTimer_.setEnabled(true);
    sendWaiting();
    afterChange();
}

void Outbox::sendWaiting()
{
    if (!window_.logUpload.checked()) {
        if (!unwritten_.empty() || unreadable_) {
            update([](std::vector<std::string>&) { return false; });
        }
        return;
    }
    // One batch at a time: the next goes once this one's refusal window has passed.
    if (std::any_of(inFlight_.begin(), inFlight_.end(), [](const InFlight& f) { return f.again(); })) {
        return;
    }
    // The file's records stay in it while they are sent, and only the resender sends them, so that
    // another program with the same file does not send them too. What memory holds (the file could
    // not take it) is this program's own and goes all the same.
    update([](std::vector<std::string>&) { return false; });
    std::vector<InFlight> batch;
    if (!inFile_.empty() && isResender()) {
        for (std::size_t i = 0; i < inFile_.size() && batch.size() < kBatch; ++i) {
            batch.push_back(InFlight{inFile_[i], From::File});
        }
    }
    const auto fromMemory = static_cast<std::ptrdiff_t>(std::min(kBatch - batch.size(), unwritten_.size()));
    for (auto it = unwritten_.begin(); it != unwritten_.begin() + fromMemory; ++it) {
        batch.push_back(InFlight{*it, From::Memory});
    }
    unwritten_.erase(unwritten_.begin(), unwritten_.begin() + fromMemory);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const std::string& record = batch[i].record;
        const bool went = guarded(trace_, "Outbox: ** Error Sending: ", [&] {
            logSocket_.close();
            logSocket_.sendData(record);
        });
        // Those behind it would fail the same way; the next round tries again, oldest first.
        if (!went) {
            std::vector<std::string> back;
            for (std::size_t j = i; j < batch.size(); ++j) {
                if (batch[j].from == From::Memory) {
                    back.push_back(batch[j].record);
                }
            }
            putBack(back, {});
            break;
        }
        inFlight_.push_back(batch[i]);
        refusalTimer_.setEnabled(true);
        trace_.write("   QSO sent again from the outbox. *" + record + "*");
    }
}

// The role is kept until the program ends, and the kernel lets it go even when it is killed.
bool Outbox::isResender()
{
    if (!resender_) {
        resender_ = files_.tryLockFile(path_ + ".lock");
    }
    return resender_ != nullptr;
}

void Outbox::socketError(int code, const std::string& description)
{
    if (inFlight_.empty()) {
        return;
    }
    refusalTimer_.setEnabled(false);
    const std::vector<InFlight> refused = std::move(inFlight_);
    inFlight_.clear();
    std::vector<std::string> older;
    std::vector<std::string> newer;
    // Those sent from the file are still in it.
    for (const InFlight& f : refused) {
        if (f.from == From::Memory) {
            older.push_back(f.record);
        } else if (f.from == From::First && unusableRecordLine(f.record).empty()) {
            newer.push_back(f.record);
        }
    }
    putBack(older, newer);
    const std::string reason = "an error followed its send: " + failureLine("", code, description);
    for (const InFlight& f : refused) {
        const std::string_view unusable = unusableRecordLine(f.record);
        if (!f.again() && !unusable.empty()) {
            trace_.write("   QSO not kept in the outbox (" + std::string(unusable) + "): *" + f.record + "*");
            continue;
        }
        trace_.write("   QSO kept in the outbox: " + reason + " *" + f.record + "*");
        if (onKept) {
            onKept(f.record, reason, f.again());
        }
    }
    afterChange();
}

void Outbox::answered()
{
    deliverInFlight();
    // The next batch keeps its distance all the same.
    if (waiting() > 0) {
        refusalTimer_.setEnabled(true);
    }
}

std::string Outbox::ending()
{
    if (path_.empty()) {
        return {};
    }
    refusalTimer_.setEnabled(false);
    std::vector<std::string> older;
    std::vector<std::string> newer;
    for (const InFlight& f : inFlight_) {
        if (f.from == From::Memory) {
            older.push_back(f.record);
        } else if (f.from == From::First && unusableRecordLine(f.record).empty()) {
            newer.push_back(f.record);
            trace_.write("   QSO kept in the outbox: the program ended before a refusal could come *" + f.record + "*");
        }
    }
    inFlight_.clear();
    if (!older.empty() || !newer.empty() || !unwritten_.empty()) {
        putBack(older, newer);
    }
    afterChange();
    // Another program with the file takes over from here.
    resendTimer_.setEnabled(false);
    resender_.reset();
    if (unwritten_.empty()) {
        return {};
    }
    std::string calls;
    for (const std::string& record : unwritten_) {
        calls += (calls.empty() ? "" : ", ") + callOfRecord(record);
    }
    const std::size_t n = unwritten_.size();
    const std::string line = std::to_string(n) + (n == 1 ? " QSO" : " QSOs") + " could not be written to " +
                             fileNameOf(path_) + (n == 1 ? " and is lost: " : " and are lost: ") + calls;
    trace_.write("Outbox: " + line);
    return line;
}

void Outbox::refusalWindowEnded()
{
    // A datagram still waiting for the host's name has not gone yet: its failure may still come.
    if (logSocket_.awaitingName() > 0) {
        return;
    }
    deliverInFlight();
    sendWaiting();
    afterChange();
}

void Outbox::deliverInFlight()
{
    refusalTimer_.setEnabled(false);
    const std::vector<InFlight> delivered = std::move(inFlight_);
    inFlight_.clear();
    for (const InFlight& f : delivered) {
        if (f.from == From::File) {
            if (const auto it = std::find(inFile_.begin(), inFile_.end(), f.record); it != inFile_.end()) {
                inFile_.erase(it);
            }
            delivered_.push_back(f.record);
        }
        if (f.again()) {
            trace_.write("   QSO delivered, out of the outbox. *" + f.record + "*");
        }
    }
    // A file that cannot take the change now keeps them out of the next batch all the same.
    if (!delivered_.empty()) {
        update([](std::vector<std::string>&) { return false; });
    }
    afterChange();
    if (onDelivered) {
        for (const InFlight& f : delivered) {
            onDelivered(f.record);
        }
    }
}

void Outbox::afterChange()
{
    const bool needed = waiting() > 0 || unreadable_;
    if (needed != resendTimer_.enabled()) {
        resendTimer_.setEnabled(needed);
    }
    const std::size_t count = waiting();
    const std::size_t inMemory = heldInMemory();
    if (count == toldCount_ && inMemory == toldInMemory_) {
        return;
    }
    toldCount_ = count;
    toldInMemory_ = inMemory;
    if (notice_) {
        notice_(outboxCountText(count, inMemory));
    }
    for (const auto& listener : countListeners_) {
        listener(count, inMemory);
    }
}

void Outbox::tell(const std::string& text)
{
    trace_.write("Outbox: " + text);
    if (notice_) {
        notice_(text);
    }
}

void Outbox::tellUnwritable()
{
    if (!unwritableTold_) {
        unwritableTold_ = true;
        tell("cannot write " + path_ + "; the QSOs that wait are kept in memory until it can be written");
    }
}

} // namespace qf
