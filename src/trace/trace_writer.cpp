#include "trace/trace_writer.h"

#include <cstdio>

namespace qf {
namespace {

std::string twoDigits(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

} // namespace

std::string appFolderFrom(std::string configFolder)
{
    if (!configFolder.empty() && configFolder.back() == '/') {
        configFolder.pop_back();
    }
    return configFolder + "/Quillfeed";
}

std::string traceMilliseconds(int ms)
{
    if (ms == 0) {
        return "00";
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", ms);
    return buf;
}

TraceWriter::TraceWriter(WindowModel& window, FileSystem& files, Clock& clock, Regional& regional)
    : window_(window), files_(files), clock_(clock), regional_(regional)
{
}

std::string TraceWriter::stamp(const DateTime& t, int ms) const
{
    char year[16];
    std::snprintf(year, sizeof year, "%04d", t.year);
    const std::string ds = regional_.dateSeparator();
    const std::string ts = regional_.timeSeparator();
    return twoDigits(t.day) + ds + twoDigits(t.month) + ds + year + " " + twoDigits(t.hour) + ts +
           twoDigits(t.minute) + ts + twoDigits(t.second) + "." + traceMilliseconds(ms) + " ";
}

void TraceWriter::write(const std::string& message)
{
    if (!enabled()) {
        return;
    }
    try {
        std::string line = stamp(clock_.now(), clock_.milliseconds());
        line.reserve(line.size() + message.size() + 2);
        line += message;
        line += "\r\n";
        const std::string path = tracePath();
        if (files_.append(path, line) == AppendResult::PathNotFound) {
            if (files_.createDirectory(appFolder_)) {
                files_.append(path, line);
            }
        }
    } catch (...) {
        // The trace never fails its caller: most callers write it from their own error handling.
    }
}

void TraceWriter::traceClicked(bool isLoading, const std::function<void(const std::string&)>& storeSetting)
{
    if (isLoading) {
        return;
    }
    if (!window_.trace.checked()) {
        storeSetting("0");
        return;
    }
    files_.removeFile(tracePath());
    storeSetting("1");
    write(window_.caption);
}

} // namespace qf
