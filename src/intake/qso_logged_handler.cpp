#include "intake/qso_logged_handler.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "intake/datagram_intake.h"
#include "intake/wire_reader.h"
#include "service/service.h"
#include "trace/failure_rule.h"

namespace qf {

QsoLogged readQsoLogged(const std::string& data, const std::function<void(const std::function<void()>&)>& step)
{
    QsoLogged q;
    double p = 17;
    // A counted text. A null string (negative length) reads as empty and moves past its length
    // only, so the fields after it stay at their right positions.
    auto text = [&](std::string& field, bool onlyWhenPositive) {
        double length = 0;
        step([&] {
            length = numberAt(data, p, 4, false);
            p += 4;
        });
        if (length < 0 || (onlyWhenPositive && length == 0)) {
            return;
        }
        step([&] {
            field = slice(data, p, length);
            p += length;
        });
    };
    auto number = [&](double& field, int bytes) {
        step([&] {
            field = numberAt(data, p, bytes, true);
            p += bytes;
        });
    };

    step([&] { q.idLen = numberAt(data, 13, 4, false); });
    step([&] {
        q.idKey = slice(data, p, q.idLen);
        p += q.idLen;
    });
    number(q.dateOff, 8);
    number(q.timeOff, 4);
    number(q.timeSpecOff, 1);
    text(q.dxCall, false);
    text(q.dxLoc, false);
    number(q.txQrg, 8);
    text(q.modo, false);
    text(q.repSent, false);
    text(q.repRcvd, false);
    text(q.txPwr, true);
    text(q.comm, true);
    text(q.name, true);
    number(q.dateOn, 8);
    number(q.timeOn, 4);
    number(q.timeSpecOn, 1);
    text(q.opCall, false);
    text(q.myCall, false);
    text(q.myLoc, false);
    q.complete = p <= static_cast<double>(data.size()) + 1;
    if (p < static_cast<double>(data.size())) {
        text(q.exchSent, false);
    }
    if (p < static_cast<double>(data.size())) {
        text(q.exchRcvd, false);
    }
    return q;
}

std::string qsoUploadRecord(const std::string& version, const std::string& ownCall, const std::string& dateTime,
                            const QsoLogged& q)
{
    return "QFLOG|" + version + "|A|" + ownCall + "|" + dateTime + "|" + q.dxCall + "|" +
           numberText(std::floor(q.txQrg / 1000)) + "|" + q.modo + "|" + q.dxLoc + "|";
}

std::string recordDate(const CalendarDate& d)
{
    // A negative year keeps four digits after its sign: -0005, not -005.
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%04d%02d%02d", d.year < 0 ? "-" : "", std::abs(d.year), d.month, d.day);
    return buf;
}

QsoLoggedHandler::QsoLoggedHandler(WindowModel& window, RunState& state, TraceWriter& trace, UdpSocket& logSocket,
                                   std::string spotServiceHost)
    : window_(window), state_(state), trace_(trace), logSocket_(logSocket), host_(std::move(spotServiceHost))
{
    logSocket_.setRemoteHost(host_);
    logSocket_.setRemotePort(kSpotServicePort);
    logSocket_.onDataArrival = [this](int n) { onDataArrival(n); };
    logSocket_.onError = [this](int code, const std::string& d) { onError(code, d); };
}

void QsoLoggedHandler::handle(const std::string& data, double schema)
{
    if (!window_.logUpload.checked()) {
        return;
    }
    const auto step = [&](const std::function<void()>& s) { guarded(trace_, kIntakeFailurePrefix, s); };
    const QsoLogged q = readQsoLogged(data, step);
    step([&] {
        trace_.write("  MSG_5: Sch=" + numberText(schema) + " / IdKey=" + q.idKey +
                     " / DateOff=" + numberText(q.dateOff) + " / TimeOff=" + numberText(q.timeOff) +
                     " / TimeSpecOff=" + numberText(q.timeSpecOff) + " / DxCall=" + q.dxCall + " / DxLoc=" + q.dxLoc +
                     " / TxQRG=" + numberText(q.txQrg) + " / Modo=" + q.modo + " / RepSent=" + q.repSent +
                     " / RepRcvd=" + q.repRcvd + " / TxPwr=" + q.txPwr + " / Comm=" + q.comm + " / Name=" + q.name +
                     " / DateOn=" + numberText(q.dateOn) + " / TimeOn=" + numberText(q.timeOn) +
                     " / TimeSpecOn=" + numberText(q.timeSpecOn) + " / OpCall=" + q.opCall + " / MyCall=" + q.myCall +
                     " / MyLoc=" + q.myLoc + " / ExchSent=" + q.exchSent + " / ExchRcvd=" + q.exchRcvd);
    });

    if (!q.complete) {
        // A message cut short would put a made-up QSO into the operator's online log.
        trace_.write("   QSO not sent to Orbalis log: the message ends before MyLoc");
        return;
    }
    // Only a program without a window monitors before it knows it; the record carries it.
    if (window_.callsign.text().size() < 3) {
        trace_.write("   QSO not sent to Orbalis log: your callsign is not known yet");
        return;
    }
    // A crafted text holding the separator would shift the record's fields at the service.
    for (const auto& [label, value, longest] : {std::tuple{"DxCall", &q.dxCall, kLongestCallsign},
                                                {"Modo", &q.modo, kLongestMode},
                                                {"DxLoc", &q.dxLoc, kLongestLocator}}) {
        if (value->size() > longest) {
            trace_.write(std::string("   QSO not sent to Orbalis log: ") + label + " is longer than " +
                         std::to_string(longest) + " characters");
            return;
        }
        if (!fitsRecordField(*value)) {
            trace_.write(std::string("   QSO not sent to Orbalis log: ") + label +
                         " holds \"|\" or a control character");
            return;
        }
    }
    // A time past the day would give more than six hhmmss digits in the 14-digit date-time.
    constexpr double kMsPerDay = 86400000;
    for (const auto& [label, ms] : {std::pair{"TimeOff", q.timeOff}, {"TimeOn", q.timeOn}}) {
        if (!(ms >= 0 && ms < kMsPerDay)) {
            trace_.write(std::string("   QSO not sent to Orbalis log: ") + label + " " + numberText(ms) +
                         " gives no time of day the record can hold");
            return;
        }
    }
    bool uploadFailed = false;
    std::string failure;
    const auto upload = [&](const std::function<void()>& s) {
        if (!guarded(trace_, "Winsock1.DataArrival: ** Error Sending: ", s, &failure)) {
            uploadFailed = true;
        }
    };
    std::string dateText;
    std::string timeText;
    std::string record;
    upload([&] { dateText = recordDate(convertJulian(q.dateOff)); });
    if (uploadFailed) {
        // Without its date the record would put a malformed QSO into the online log.
        trace_.write("   QSO not sent to Orbalis log: DateOff " + numberText(q.dateOff) +
                     " gives no year the record can hold");
        return;
    }
    upload([&] { timeText = msToHhmmss(q.timeOff); });
    upload([&] { record = qsoUploadRecord(state_.versionText, window_.callsign.text(), dateText + timeText, q); });
    upload([&] { logSocket_.close(); });
    bool sent = false;
    upload([&] {
        logSocket_.sendData(record);
        sent = true;
    });
    if (!uploadFailed) {
        trace_.write("   QSO sent to Orbalis log. *" + record + "*");
    }
    if (sent && onSent) {
        onSent(record);
    } else if (!sent && !record.empty() && onUnsent) {
        onUnsent(record, "its send failed: " + failure);
    }
}

void QsoLoggedHandler::logUploadClicked()
{
    const auto step = [&](const std::function<void()>& s) { guarded(trace_, "CBLogUpload: Error in Winsock3: ", s); };
    if (window_.logUpload.checked()) {
        step([&] { logSocket_.close(); });
        step([&] {
            logSocket_.setRemoteHost(host_);
            logSocket_.setRemotePort(kSpotServicePort);
        });
        step([&] { logSocket_.bind(0); });
    } else {
        step([&] { logSocket_.close(); });
    }
}

void QsoLoggedHandler::prepareAtStartUp()
{
    const auto step = [&](const std::function<void()>& s) { guarded(trace_, "Start-up: Error in Winsock3: ", s); };
    step([&] { logSocket_.close(); });
    if (window_.logUpload.checked()) {
        step([&] {
            logSocket_.setRemoteHost(host_);
            logSocket_.setRemotePort(kSpotServicePort);
        });
    }
    step([&] { logSocket_.bind(0); });
}

void QsoLoggedHandler::onDataArrival(int bytesTotal)
{
    trace_.write("***Entra en Winsock3_DataArrival: bytesTotal=" + blankSignedNumber(bytesTotal) +
                 ", Winsock3.State=" + blankSignedNumber(logSocket_.state()));
    std::string s;
    bool taken = false;
    try {
        s = logSocket_.getData();
        taken = true;
    } catch (const Failure& f) {
        trace_.write("*** >>> ERROR" + blankSignedNumber(f.code) + " en Winsock3_DataArrival (" + f.description + ")");
    } catch (const std::exception& e) {
        trace_.write("*** >>> ERROR" + blankSignedNumber(kInvalidArgumentCode) + " en Winsock3_DataArrival (" +
                     e.what() + ")");
    }
    // Until the first QSO leaves, the socket hears anybody who finds its port: only the service may
    // say that a QSO arrived.
    if (taken && !logSocket_.lastFromRemote()) {
        const UdpSocket::Peer from = logSocket_.lastSender();
        trace_.write("   Not the spot service's answer: it came from " + from.address + ":" +
                     std::to_string(from.port) + ", dropped");
        trace_.write("***Sale en Winsock3_DataArrival");
        return;
    }
    trace_.write("   Texto recibido = *" + s + "*");
    trace_.write("***Sale en Winsock3_DataArrival");
    if (taken && onAnswer) {
        onAnswer(s);
    }
}

void QsoLoggedHandler::onError(int code, const std::string& description)
{
    trace_.write("Winsock3 error" + blankSignedNumber(code) + " - " + description);
}

} // namespace qf
