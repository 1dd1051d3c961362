// A failed step: a numeric code and a description, as the socket layer and the
// runtime report them. Every behaviour catches it under its own failure rule.
#pragma once

#include <stdexcept>
#include <string>

namespace qf {

struct Failure : std::runtime_error {
    Failure(int code, std::string description)
        : std::runtime_error(description), code(code), description(std::move(description))
    {
    }
    int code;
    std::string description;
};

// Runtime codes used where a step fails on bad data rather than in the socket layer.
inline constexpr int kInvalidArgumentCode = 5;
inline constexpr int kOverflowCode = 6;
inline constexpr int kOutOfMemoryCode = 7;

[[noreturn]] inline void failInvalidArgument()
{
    throw Failure(kInvalidArgumentCode, "Invalid procedure call or argument");
}

} // namespace qf
