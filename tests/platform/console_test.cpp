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

TEST(ConsoleDialogs, each_box_is_one_line_and_a_question_gets_the_answer_that_does_nothing)
{
    const struct {
        const char* text;
        const char* line;
    } rows[] = {
        {"You must enter a valid callsign or station id", "quillfeed: You must enter a valid callsign or station id\n"},
        {"UDP port 22\r\n37 is in use", "quillfeed: UDP port 22  37 is in use\n"},
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
