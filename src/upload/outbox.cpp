#include "upload/outbox.h"

#include <algorithm>

#include "trace/failure_rule.h"

namespace qf {
namespace {

constexpr std::string_view kRecordStart = "QFLOG|";

} // namespace

std::string outboxCountText(std::size_t count)
{
    if (count == 0) {
        return "0 QSOs wait in the outbox: all were delivered";
    }
    if (count == 1) {
        return "1 QSO waits in the outbox";
    }
    return std::to_string(count) + " QSOs wait in the outbox";
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

Outbox::Outbox(WindowModel& window, FileSystem& files, TraceWriter& trace, UdpSocket& logSocket, Timer& resendTimer,
               Timer& refusalTimer, std::function<void(const std::string&)> notice)
    : window_(window), files_(files), trace_(trace), logSocket_(logSocket), resendTimer_(resendTimer),
      refusalTimer_(refusalTimer), notice_(std::move(notice))
{
    resendTimer_.setInterval(kResendMs);
    resendTimer_.onTick = [this] {
        if (!loaded_) {
            load();
        }
        if (unsaved_) {
            save();
        }
        sendWaiting();
        afterChange();
    };
    refusalTimer_.setInterval(kRefusalWindowMs);
    refusalTimer_.onTick = [this] { refusalWindowEnded(); };
}

std::vector<std::string> Outbox::waitingRecords() const
{
    std::vector<std::string> records;
    for (const Entry& e : entries_) {
        if (e.stored) {
            records.push_back(e.record);
        }
    }
    return records;
}

std::size_t Outbox::waiting() const
{
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry& e) { return e.stored; }));
}

void Outbox::startUp(std::string path)
{
    path_ = std::move(path);
    load();
    if (waiting() > 0) {
        trace_.write("Outbox: " + outboxCountText(waiting()));
    }
    sendWaiting();
    afterChange();
}

void Outbox::load()
{
    std::string content;
    if (files_.fileExists(path_)) {
        auto read = files_.read(path_);
        if (!read) {
            // Writing over records we could not read would lose them.
            if (!unreadableTold_) {
                unreadableTold_ = true;
                tell("cannot read " + path_ + "; it is left as it is and read again every minute");
            }
            return;
        }
        content = std::move(*read);
    }
    loaded_ = true;
    std::vector<Entry> records;
    std::size_t lineNumber = 0;
    for (std::size_t pos = 0; pos < content.size();) {
        const std::size_t lf = std::min(content.find('\n', pos), content.size());
        std::string_view line(content.data() + pos, lf - pos);
        pos = lf + 1;
        ++lineNumber;
        // A line ending of an editor from another system.
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::string_view unusable = unusableRecordLine(line);
        if (unusable.empty()) {
            records.push_back(Entry{std::string(line), true, false});
            continue;
        }
        if (line.empty()) {
            trace_.write("Outbox: line " + std::to_string(lineNumber) + " is empty, dropped");
            continue;
        }
        trace_.write("Outbox: line " + std::to_string(lineNumber) + " is no QSO record (" + std::string(unusable) +
                     "), not sent; it stays in the file");
        foreignLines_.emplace_back(line);
    }
    // What was kept in memory meanwhile came after the file's records.
    const bool keptMeanwhile = !entries_.empty();
    entries_.insert(entries_.begin(), records.begin(), records.end());
    if (keptMeanwhile) {
        save();
    }
}

bool Outbox::save()
{
    unsaved_ = true;
    if (!loaded_) {
        return false;
    }
    std::string content;
    for (const std::string& line : foreignLines_) {
        content += line + '\n';
    }
    for (const Entry& e : entries_) {
        if (e.stored) {
            content += e.record + '\n';
        }
    }
    if (!files_.writeByRename(path_, content)) {
        if (!unwritableTold_) {
            unwritableTold_ = true;
            tell("cannot write " + path_ + "; the QSOs that wait are kept in memory until it can be written");
        }
        return false;
    }
    unsaved_ = false;
    if (unwritableTold_) {
        unwritableTold_ = false;
        tell(path_ + " is written again");
    }
    return true;
}

void Outbox::keep(const std::string& record, const std::string& reason)
{
    const std::string_view unusable = unusableRecordLine(record);
    if (!unusable.empty()) {
        trace_.write("   QSO not kept in the outbox (" + std::string(unusable) + "): *" + record + "*");
        return;
    }
    entries_.push_back(Entry{record, true, false});
    save();
    trace_.write("   QSO kept in the outbox: " + reason + " *" + record + "*");
    if (onKept) {
        onKept(record, reason, false);
    }
    afterChange();
}

void Outbox::sent(const std::string& record)
{
    entries_.push_back(Entry{record, false, true});
    refusalTimer_.setEnabled(true);
    sendWaiting();
    afterChange();
}

void Outbox::sendWaiting()
{
    if (!window_.logUpload.checked()) {
        return;
    }
    // By index: the list may grow while we send.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].stored || entries_[i].inFlight) {
            continue;
        }
        const std::string record = entries_[i].record;
        const bool sent = guarded(trace_, "Outbox: ** Error Sending: ", [&] {
            logSocket_.close();
            logSocket_.sendData(record);
        });
        // Those behind it would fail the same way; the next round tries again, oldest first.
        if (!sent) {
            break;
        }
        entries_[i].inFlight = true;
        refusalTimer_.setEnabled(true);
        trace_.write("   QSO sent again from the outbox. *" + record + "*");
    }
}

void Outbox::socketError(int code, const std::string& description)
{
    std::vector<std::size_t> refused;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].inFlight) {
            entries_[i].inFlight = false;
            refused.push_back(i);
        }
    }
    if (refused.empty()) {
        return;
    }
    refusalTimer_.setEnabled(false);
    std::vector<bool> again;
    for (const std::size_t i : refused) {
        again.push_back(entries_[i].stored);
        entries_[i].stored = entries_[i].stored || unusableRecordLine(entries_[i].record).empty();
    }
    save();
    const std::string reason = "an error followed its send: " + failureLine("", code, description);
    for (std::size_t k = 0; k < refused.size(); ++k) {
        const Entry& e = entries_[refused[k]];
        if (e.stored) {
            trace_.write("   QSO kept in the outbox: " + reason + " *" + e.record + "*");
            if (onKept) {
                onKept(e.record, reason, again[k]);
            }
        } else {
            trace_.write("   QSO not kept in the outbox (" + std::string(unusableRecordLine(e.record)) + "): *" +
                         e.record + "*");
        }
    }
    std::erase_if(entries_, [](const Entry& e) { return !e.stored; });
    afterChange();
}

void Outbox::answered()
{
    deliverInFlight();
}

void Outbox::ending()
{
    // The held datagrams cannot be told apart from those that went: all unconfirmed ones are kept,
    // since a QSO sent twice does less harm than one lost.
    if (logSocket_.awaitingName() == 0) {
        return;
    }
    bool kept = false;
    for (Entry& e : entries_) {
        if (e.inFlight && !e.stored && unusableRecordLine(e.record).empty()) {
            e.stored = true;
            kept = true;
            trace_.write("   QSO kept in the outbox: the program ended while its send waited for the service's "
                         "name *" +
                         e.record + "*");
        }
    }
    if (kept) {
        save();
        afterChange();
    }
}

void Outbox::refusalWindowEnded()
{
    // A datagram still waiting for the host's name has not gone yet: its failure may still come.
    if (logSocket_.awaitingName() > 0) {
        return;
    }
    deliverInFlight();
}

void Outbox::deliverInFlight()
{
    refusalTimer_.setEnabled(false);
    std::vector<std::string> delivered;
    std::vector<std::string> reached;
    for (const Entry& e : entries_) {
        if (e.inFlight && e.stored) {
            delivered.push_back(e.record);
        }
        if (e.inFlight) {
            reached.push_back(e.record);
        }
    }
    std::erase_if(entries_, [](const Entry& e) { return e.inFlight; });
    if (!delivered.empty()) {
        save();
        for (const std::string& record : delivered) {
            trace_.write("   QSO delivered, out of the outbox. *" + record + "*");
        }
    }
    afterChange();
    if (onDelivered) {
        for (const std::string& record : reached) {
            onDelivered(record);
        }
    }
}

void Outbox::afterChange()
{
    const bool needed = waiting() > 0 || !loaded_ || unsaved_;
    if (needed != resendTimer_.enabled()) {
        resendTimer_.setEnabled(needed);
    }
    const std::size_t count = waiting();
    if (count == toldCount_) {
        return;
    }
    toldCount_ = count;
    if (notice_) {
        notice_(outboxCountText(count));
    }
    for (const auto& listener : countListeners_) {
        listener(count);
    }
}

void Outbox::tell(const std::string& text)
{
    trace_.write("Outbox: " + text);
    if (notice_) {
        notice_(text);
    }
}

} // namespace qf
