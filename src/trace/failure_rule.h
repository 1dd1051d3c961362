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

// Runs one step; returns false when it failed (after tracing the failure). The failure's code
// and description ("10065 - No route to host") go to `what` when given.
template <typename Step>
bool guarded(TraceWriter& trace, std::string_view prefix, Step&& step, std::string* what = nullptr)
{
    const auto failed = [&](int code, std::string_view description) {
        trace.write(failureLine(prefix, code, description));
        if (what != nullptr) {
            *what = failureLine("", code, description);
        }
        return false;
    };
    try {
        step();
        return true;
    } catch (const Failure& f) {
        return failed(f.code, f.description);
    } catch (const std::bad_alloc&) {
        return failed(kOutOfMemoryCode, "Out of memory");
    } catch (const std::exception& e) {
        return failed(kInvalidArgumentCode, e.what());
    }
}

} // namespace qf
