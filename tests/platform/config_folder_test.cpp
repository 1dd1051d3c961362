#include "platform/config_folder.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(ConfigFolder, follows_the_xdg_rules_and_never_starts_with_two_slashes)
{
    const struct {
        const char* xdg;
        const char* home;
        const char* userDatabase;
        const char* expected;
    } rows[] = {
        {"/home/op/cfg", "/home/op", "/home/db", "/home/op/cfg"},
        {"/home/op/cfg//", "/home/op", "/home/db", "/home/op/cfg"},
        {nullptr, "/home/op", "/home/db", "/home/op/.config"},
        {"", "/home/op/", "/home/db", "/home/op/.config"},
        {"cfg", "/home/op", "/home/db", "/home/op/.config"},
        {nullptr, nullptr, "/home/db", "/home/db/.config"},
        {nullptr, "", "/home/db", "/home/db/.config"},
        {"./cfg", "op", "/home/db", "/home/db/.config"},
        {nullptr, "/", "/home/db", "/.config"},
        {nullptr, nullptr, "/", "/.config"},
        {nullptr, nullptr, "", ""},
        {nullptr, nullptr, "home", ""},
    };
    for (const auto& row : rows) {
        const std::string folder = configFolderFrom(row.xdg, row.home, [&] { return std::string(row.userDatabase); });
        EXPECT_EQ(folder, row.expected) << (row.xdg ? row.xdg : "unset") << ", " << (row.home ? row.home : "unset");
    }
}

} // namespace
} // namespace qf
