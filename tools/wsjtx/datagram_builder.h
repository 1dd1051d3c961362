// Builds WSJT-X UDP datagrams (Qt data stream, big-endian) field by field, for the sender tool,
// the tests and the fuzz corpus.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qf::wsjtx {

inline constexpr std::uint32_t kMagic = 0xADBCCBDA;

enum MessageType : std::int32_t {
    Heartbeat = 0,
    Status = 1,
    Decode = 2,
    Clear = 3,
    Reply = 4,
    QsoLogged = 5,
    Close = 6,
};

class DatagramBuilder {
  public:
    DatagramBuilder& u8(std::uint8_t v)
    {
        bytes_ += static_cast<char>(v);
        return *this;
    }
    DatagramBuilder& boolean(bool v) { return u8(v ? 1 : 0); }
    DatagramBuilder& u32(std::uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes_ += static_cast<char>((v >> shift) & 0xFF);
        }
        return *this;
    }
    DatagramBuilder& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    DatagramBuilder& u64(std::uint64_t v)
    {
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes_ += static_cast<char>((v >> shift) & 0xFF);
        }
        return *this;
    }
    DatagramBuilder& i64(std::int64_t v) { return u64(static_cast<std::uint64_t>(v)); }
    DatagramBuilder& f64(double v)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        return u64(bits);
    }
    // A utf8 string: length then bytes.
    DatagramBuilder& utf8(std::string_view s)
    {
        i32(static_cast<std::int32_t>(s.size()));
        bytes_.append(s);
        return *this;
    }
    // The null string: length FF FF FF FF and no bytes.
    DatagramBuilder& nullString() { return u32(0xFFFFFFFF); }
    // QDateTime: Julian day, milliseconds since midnight, time spec (UTC = 1).
    DatagramBuilder& dateTime(std::uint64_t julianDay, std::uint32_t msOfDay, std::uint8_t spec = 1)
    {
        return u64(julianDay).u32(msOfDay).u8(spec);
    }
    DatagramBuilder& raw(std::string_view s)
    {
        bytes_.append(s);
        return *this;
    }
    DatagramBuilder& header(std::int32_t schema, std::int32_t type, std::string_view id)
    {
        return u32(kMagic).i32(schema).i32(type).utf8(id);
    }

    const std::string& bytes() const { return bytes_; }
    operator std::string() const { return bytes_; }

  private:
    std::string bytes_;
};

// The Julian day number that QDate puts on the wire; 0 for a date that does not exist.
inline std::uint64_t julianDay(int year, unsigned month, unsigned day)
{
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    if (!date.ok()) {
        return 0;
    }
    constexpr long kJulianDayOfUnixEpoch = 2440588;
    return static_cast<std::uint64_t>(std::chrono::sys_days{date}.time_since_epoch().count() + kJulianDayOfUnixEpoch);
}

// Whole messages with every field in the protocol's order, as WSJT-X 2.x sends them.

struct StatusFields {
    std::string id = "WSJT-X";
    int schema = 2;
    std::uint64_t dialHz = 14074000;
    std::string mode = "FT8";
    std::string dxCall = "";
    std::string report = "";
    std::string txMode = "FT8";
    bool txEnabled = false;
    bool transmitting = false;
    bool decoding = false;
    std::uint32_t rxDf = 1500;
    std::uint32_t txDf = 1500;
    std::string deCall = "Q9ZZZ";
    std::string deGrid = "FN42";
    std::string dxGrid = "";
    bool txWatchdog = false;
    std::string subMode = "";
    bool fastMode = false;
    std::uint8_t specialOperation = 0;
    std::uint32_t frequencyTolerance = 0xFFFFFFFF;
    std::uint32_t trPeriod = 15;
    std::string configurationName = "Default";
    std::string txMessage = "";
};

inline std::string statusMessage(const StatusFields& f)
{
    return DatagramBuilder()
        .header(f.schema, Status, f.id)
        .u64(f.dialHz)
        .utf8(f.mode)
        .utf8(f.dxCall)
        .utf8(f.report)
        .utf8(f.txMode)
        .boolean(f.txEnabled)
        .boolean(f.transmitting)
        .boolean(f.decoding)
        .u32(f.rxDf)
        .u32(f.txDf)
        .utf8(f.deCall)
        .utf8(f.deGrid)
        .utf8(f.dxGrid)
        .boolean(f.txWatchdog)
        .utf8(f.subMode)
        .boolean(f.fastMode)
        .u8(f.specialOperation)
        .u32(f.frequencyTolerance)
        .u32(f.trPeriod)
        .utf8(f.configurationName)
        .utf8(f.txMessage);
}

struct DecodeFields {
    std::string id = "WSJT-X";
    int schema = 2;
    bool isNew = true;
    std::uint32_t timeMs = 36000000;
    std::int32_t snr = -12;
    double deltaTime = 0.2;
    std::uint32_t deltaFrequency = 1520;
    std::string mode = "~";
    std::string message = "CQ Q1AAA FN42";
    bool lowConfidence = false;
    bool offAir = false;
};

inline std::string decodeMessage(const DecodeFields& f)
{
    return DatagramBuilder()
        .header(f.schema, Decode, f.id)
        .boolean(f.isNew)
        .u32(f.timeMs)
        .i32(f.snr)
        .f64(f.deltaTime)
        .u32(f.deltaFrequency)
        .utf8(f.mode)
        .utf8(f.message)
        .boolean(f.lowConfidence)
        .boolean(f.offAir);
}

struct QsoLoggedFields {
    std::string id = "WSJT-X";
    int schema = 2;
    std::uint64_t dateOff = 2461382;  // 2026-12-07
    std::uint32_t timeOff = 65130000; // 18:05:30
    std::string dxCall = "Q1AAA";
    std::string dxGrid = "IN80";
    std::uint64_t txFrequency = 14075523;
    std::string mode = "FT8";
    std::string reportSent = "-12";
    std::string reportReceived = "-08";
    std::string txPower = "100";
    std::string comments = "";
    std::string name = "";
    std::uint64_t dateOn = 2461382;
    std::uint32_t timeOn = 65070000;
    std::string operatorCall = "";
    std::string myCall = "Q9ZZZ";
    std::string myGrid = "FN42";
    std::string exchangeSent = "";
    std::string exchangeReceived = "";
    bool withExchange = true;
    std::string propMode = "";
    bool withPropMode = false;
};

inline std::string qsoLoggedMessage(const QsoLoggedFields& f)
{
    DatagramBuilder b;
    b.header(f.schema, QsoLogged, f.id)
        .dateTime(f.dateOff, f.timeOff)
        .utf8(f.dxCall)
        .utf8(f.dxGrid)
        .u64(f.txFrequency)
        .utf8(f.mode)
        .utf8(f.reportSent)
        .utf8(f.reportReceived)
        .utf8(f.txPower)
        .utf8(f.comments)
        .utf8(f.name)
        .dateTime(f.dateOn, f.timeOn)
        .utf8(f.operatorCall)
        .utf8(f.myCall)
        .utf8(f.myGrid);
    if (f.withExchange) {
        b.utf8(f.exchangeSent).utf8(f.exchangeReceived);
    }
    if (f.withPropMode) {
        b.utf8(f.propMode);
    }
    return b;
}

inline std::string heartbeatMessage(std::string_view id = "WSJT-X", int schema = 2)
{
    return DatagramBuilder().header(schema, Heartbeat, id).u32(3).utf8("2.6.1").utf8("");
}

} // namespace qf::wsjtx
