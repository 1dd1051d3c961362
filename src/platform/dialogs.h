// Modal message boxes without icon, titled with the program's name.
#pragma once

#include <string>

namespace qf {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual void showMessage(const std::string& text) = 0;
    virtual bool askYesNo(const std::string& text) = 0;
};

} // namespace qf
