// Dialogs as plain modal message boxes titled "Quillfeed", and Shell through the desktop's
// default handlers (never a command line).
#pragma once

#include "platform/dialogs.h"
#include "platform/shell.h"

namespace qf {

class QtDialogs final : public Dialogs {
  public:
    void showMessage(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
};

class QtShell final : public Shell {
  public:
    void openUrl(const std::string& url) override;
    void openFolder(const std::string& path) override;
};

} // namespace qf
