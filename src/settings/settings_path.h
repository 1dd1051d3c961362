// Which settings file this copy of the program uses: "config.ini" in the program's folder, or
// the file named by the "/C=" option, so that several copies can run side by side.
#pragma once

#include <string>
#include <vector>

namespace qf {

// args are the arguments after the program's name, as the shell handed them over.
std::string settingsPathFromArguments(const std::vector<std::string>& args, const std::string& appFolder);

// The outbox beside a settings file, one per file so that copies side by side keep their QSOs
// apart: "Outbox.txt" for the default settings, "RADIO2-Outbox.txt" for "RADIO2.INI".
std::string outboxPathFor(const std::string& settingsPath, const std::string& appFolder);

} // namespace qf
