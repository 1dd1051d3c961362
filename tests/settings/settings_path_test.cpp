#include "settings/settings_path.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(SettingsPath, command_lines)
{
    const std::string app = "/home/op/.config/Quillfeed";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string expected;
    } rows[] = {
        {"no arguments", {}, app + "/config.ini"},
        {"only blanks", {"  ", ""}, app + "/config.ini"},
        {"no option", {"-v", "radio2.ini"}, app + "/config.ini"},
        {"lower-case option, name upper-cased", {"/c=radio2.ini"}, app + "/RADIO2.INI"},
        {"upper-case option", {"/C=Radio2.ini"}, app + "/RADIO2.INI"},
        {"empty value", {"/C="}, app + "/config.ini"},
        {"value in the next argument is not the value", {"/C=", "radio2.ini"}, app + "/config.ini"},
        {"words before and after", {"-x", "foo", "/c=radio2.ini", "bar"}, app + "/RADIO2.INI"},
        {"full path with blanks as one argument", {"/C=/home/me/my radio.ini"}, "/home/me/my radio.ini"},
        {"full path with blanks, words after", {"/c=/home/me/my radio.ini", "bar baz"}, "/home/me/my radio.ini"},
        {"full path without blanks, case kept", {"/C=/home/Me/Radio.ini", "x"}, "/home/Me/Radio.ini"},
        {"quotes kept by the caller", {"/C=\"/tmp/a b.ini\""}, "/tmp/a b.ini"},
        {"quoted value with a blank, used as given", {"/c=My Radio.ini"}, "My Radio.ini"},
        {"quote inside ends the value", {"/C=abc\"def"}, app + "/ABC"},
        {"empty quoted value", {"/C=\"\""}, app + "/config.ini"},
        {"option inside one word", {"x/c=radio3.ini"}, app + "/RADIO3.INI"},
        {"first option counts", {"/c=one.ini", "/c=two.ini"}, app + "/ONE.INI"},
        {"bytes above 127 not upper-cased", {"/c=r\xE9\xF1.ini"}, app + "/R\xE9\xF1.INI"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(settingsPathFromArguments(row.args, app), row.expected) << row.name;
    }
}

TEST(SettingsPath, the_outbox_beside_each_settings_file)
{
    const std::string app = "/home/op/.config/Quillfeed";
    const struct {
        std::string settings;
        std::string outbox;
    } rows[] = {
        {app + "/config.ini", app + "/Outbox.txt"},
        {app + "/RADIO2.INI", app + "/RADIO2-Outbox.txt"},
        {app + "/RADIO.2.INI", app + "/RADIO.2-Outbox.txt"},
        {app + "/RADIO2", app + "/RADIO2-Outbox.txt"},
        {app + "/.INI", app + "/.INI-Outbox.txt"},
        {app + "/OUTBOX.TXT", app + "/OUTBOX-Outbox.txt"},
        {"/home/me/my radio.ini", "/home/me/my radio-Outbox.txt"},
        {"/home/me/config.ini", "/home/me/config-Outbox.txt"},
        {"My Radio.ini", "My Radio-Outbox.txt"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(outboxPathFor(row.settings, app), row.outbox) << row.settings;
    }
}

} // namespace
} // namespace qf
