// Hands a web address or a folder to the desktop's default handler.
#pragma once

#include <string>

namespace qf {

class Shell {
  public:
    virtual ~Shell() = default;
    virtual void openUrl(const std::string& url) = 0;
    virtual void openFolder(const std::string& path) = 0;
};

} // namespace qf
