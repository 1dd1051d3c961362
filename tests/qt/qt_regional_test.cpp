#include "platform/qt/qt_regional.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

TEST(QtRegional, a_separator_is_the_first_unquoted_non_letter_of_the_format)
{
    struct Row {
        const char* format;
        const char* expected;
    } rows[] = {
        {"dd/MM/yyyy", "/"},    {"d.M.yy", "."},         {"yyyy-MM-dd", "-"}, {"HH:mm:ss", ":"}, {"h.mm.ss AP", "."},
        {"yyyy. MM. dd.", "."}, {"'d-'d MMM yyyy", "?"}, {"dMyyyy", "?"},     {"", "?"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(separatorOfFormat(QString::fromLatin1(row.format), QStringLiteral("?")),
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

    const QtRegional plain(QLocale::c());
    EXPECT_EQ(plain.dateSeparator(), "/");
    EXPECT_EQ(plain.timeSeparator(), ":");
}

} // namespace
} // namespace qf
