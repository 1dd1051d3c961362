// The trace file: one stamped line per call while "Write tracefile" is ticked, the file opened
// and closed for every line, the folder recreated when it was deleted, failures swallowed.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/regional.h"
#include "window/window_model.h"

namespace qf {

// The per-user folder: the configuration folder followed by "/Quillfeed" (one trailing "/" of
// the configuration folder removed; an empty one gives "/Quillfeed").
std::string appFolderFrom(std::string configFolder);

// Milliseconds of the stamp: 0 as "00", 1..999 as three digits.
std::string traceMilliseconds(int ms);

class TraceWriter {
  public:
    TraceWriter(WindowModel& window, FileSystem& files, Clock& clock, Regional& regional);

    void setAppFolder(std::string folder) { appFolder_ = std::move(folder); }
    const std::string& appFolder() const { return appFolder_; }
    std::string tracePath() const { return appFolder_ + "/Trace.txt"; }
    // The clock the stamps are read from.
    Clock& clock() const { return clock_; }

    bool enabled() const { return window_.trace.checked(); }
    void write(const std::string& message);

    // The stamp for a reading of the clock: date, time, ".", milliseconds, one blank.
    std::string stamp(const DateTime& t, int ms) const;

    // Ticking the box deletes the old file and starts with the caption; clearing keeps it.
    // storeSetting writes the "Trace" key.
    void traceClicked(bool isLoading, const std::function<void(const std::string&)>& storeSetting);

  private:
    WindowModel& window_;
    FileSystem& files_;
    Clock& clock_;
    Regional& regional_;
    std::string appFolder_;
};

} // namespace qf
