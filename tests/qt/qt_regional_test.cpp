#include "platform/qt/qt_regional.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(QtRegional, a_separator_is_the_first_unquoted_visible_latin1_mark_of_the_format)
{
    struct Row {
        const char* format;
        const char* expected;
    } rows[] = {
        {"dd/MM/yyyy", "/"},
        {"d.M.yy", "."},
        {"yyyy-MM-dd", "-"},
        {"HH:mm:ss", ":"},
        {"h.mm.ss AP", "."},
        {"yyyy. MM. dd.", "."},
        {"'d-'d MMM yyyy", "?"},
        {"dMyyyy", "?"},
        {"", "?"},
        {"d\u200F/M\u200F/yyyy", "/"},
        {"H \u0E19\u0E32\u0E2C\u0E34\u0E01\u0E32 mm", "?"},
        {"d\u00AD-M", "-"},
        {"H\u6642mm\u5206ss", "?"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(separatorOfFormat(QString::fromUtf8(row.format), QStringLiteral("?")),
                  QString::fromLatin1(row.expected))
            << row.format;
    }
}

TEST(QtRegional, a_locale_gives_its_separators_month_names_and_general_form_in_latin1)
{
    const QtRegional german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(german.dateSeparator(), ".");
    EXPECT_EQ(german.timeSeparator(), ":");
    EXPECT_EQ(german.monthAbbreviation(3), "M\xe4rz");
    EXPECT_EQ(german.monthAbbreviation(13), "");
    EXPECT_EQ(german.generalDateTime(DateTime{2026, 12, 7, 18, 5, 30}), "07.12.26 18:05:30");

    const QtRegional english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(english.dateSeparator(), "/");
    EXPECT_EQ(english.monthAbbreviation(12), "Dec");
    EXPECT_EQ(english.generalDateTime(DateTime{2026, 12, 7, 18, 5, 30}), "12/7/26 6:05:30 PM");
}

TEST(QtRegional, every_locale_gives_separators_the_trace_can_hold)
{
    const struct {
        const char* locale;
        const char* date;
        const char* time;
    } rows[] = {
        {"ar_SA", "/", ":"}, {"th_TH", "/", ":"}, {"de_DE", ".", ":"}, {"fr_FR", "/", ":"}, {"fi_FI", ".", "."},
        {"bg_BG", ".", ":"}, {"C", "/", ":"},     {"ja_JP", "/", ":"}, {"ko_KR", ".", ":"},
    };
    for (const auto& row : rows) {
        const QtRegional regional{QLocale(QString::fromLatin1(row.locale))};
        EXPECT_EQ(regional.dateSeparator(), row.date) << row.locale;
        EXPECT_EQ(regional.timeSeparator(), row.time) << row.locale;
    }
}

} // namespace
} // namespace qf
