// The failure rule: a step that fails is traced as prefix + code + " - " + description and
// the handler goes on with its next step.
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "trace/trace_writer.h"

namespace qf {

std::string failureLine(std::string_view prefix, int code, std::string_view description);

// A number with a leading blank when not negative, as the socket-event lines write them.
std::string blankSignedNumber(long long n);

// Runs one step; returns false when it failed (after tracing the failure).
template <typename Step> bool guarded(TraceWriter& trace, std::string_view prefix, Step&& step)
{
    try {
        step();
        return true;
    } catch (const Failure& f) {
        trace.write(failureLine(prefix, f.code, f.description));
    } catch (const std::bad_alloc&) {
        trace.write(failureLine(prefix, kOutOfMemoryCode, "Out of memory"));
    } catch (const std::exception& e) {
        trace.write(failureLine(prefix, kInvalidArgumentCode, e.what()));
    }
    return false;
}

} // namespace qf
