// Message boxes, shell and regional settings that record what the program asked of them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/regional.h"
#include "platform/shell.h"

namespace qf::test {

class FakeDialogs final : public Dialogs {
  public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool askYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answer;
    }
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = false;
};

class FakeShell final : public Shell {
  public:
    void openUrl(const std::string& url) override { urls.push_back(url); }
    void openFolder(const std::string& path) override { folders.push_back(path); }
    std::vector<std::string> urls;
    std::vector<std::string> folders;
};

// Regional settings of a common English desktop: "/" and ":", dd/MM/yyyy HH:mm:ss.
class FakeRegional final : public Regional {
  public:
    std::string dateSeparator() const override { return dateSep; }
    std::string timeSeparator() const override { return timeSep; }
    std::string monthAbbreviation(int month) const override
    {
        static const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        return month >= 1 && month <= 12 ? names[month - 1] : "";
    }
    std::string generalDateTime(const DateTime& t) const override
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%02d%s%02d%s%04d %02d%s%02d%s%02d", t.day, dateSep.c_str(), t.month,
                      dateSep.c_str(), t.year, t.hour, timeSep.c_str(), t.minute, timeSep.c_str(), t.second);
        return buf;
    }
    std::string dateSep = "/";
    std::string timeSep = ":";
};

} // namespace qf::test
