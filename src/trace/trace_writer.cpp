#include "trace/trace_writer.h"

#include <cstdio>

namespace qf {
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
    return dateTimeText(regional_, t, false) + "." + traceMilliseconds(ms) + " ";
}

void TraceWriter::write(const std::string& message)
{
    if (!enabled()) {
        return;
    }
    try {
        const Moment moment = readMoment(clock_);
        std::string line = stamp(moment.time, moment.ms);
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
