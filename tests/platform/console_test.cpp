#include "platform/console.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace qf {
namespace {

std::string written(const std::function<void(ConsoleDialogs&)>& act)
{
    std::FILE* file = std::tmpfile();
    ConsoleDialogs dialogs(file);
    act(dialogs);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(file);
    return text;
}

TEST(ConsoleDialogs,
     each_box_is_one_line_with_its_control_bytes_escaped_and_a_question_gets_the_answer_that_does_nothing)
{
    const struct {
        const char* text;
        const char* line;
    } rows[] = {
        {"You must enter a valid callsign or station id", "quillfeed: You must enter a valid callsign or station id\n"},
        // A crafted Id can neither start a journal line of its own nor drive a terminal; UTF-8 stays.
        {"UDP port 22\r\n37 is in use", "quillfeed: UDP port 22\\x0D\\x0A37 is in use\n"},
        {"Id \x1B[2J\tJ\xC3\xB6rg\x7F", "quillfeed: Id \\x1B[2J\\x09J\xC3\xB6rg\\x7F\n"},
        {"", "quillfeed: \n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(written([&](ConsoleDialogs& d) { d.showMessage(row.text); }), row.line);
    }
    bool answer = true;
    EXPECT_EQ(written([&](ConsoleDialogs& d) { answer = d.askYesNo("Open the map?"); }), "quillfeed: Open the map?\n");
    EXPECT_FALSE(answer);
}

} // namespace
} // namespace qf
