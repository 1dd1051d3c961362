// Message boxes and shell for a program without a window: a box's text becomes one line
// "quillfeed: <text>" on standard error and counts as answered at once.
#pragma once

#include <cstdio>
#include <string>

#include "platform/dialogs.h"
#include "platform/shell.h"

namespace qf {

// Writes "quillfeed: <text>" as one line: a journal or a log reader splits at line ends.
void writeConsoleLine(std::FILE* out, const std::string& text);

class ConsoleDialogs final : public Dialogs {
  public:
    explicit ConsoleDialogs(std::FILE* out = stderr) : out_(out) {}
    void showMessage(const std::string& text) override;
    // No one is there to answer: No, the answer that does nothing.
    bool askYesNo(const std::string& text) override;

  private:
    std::FILE* out_;
};

// Without a desktop there is nothing to open a page or a folder with.
class ConsoleShell final : public Shell {
  public:
    void openUrl(const std::string&) override {}
    void openFolder(const std::string&) override {}
};

} // namespace qf
