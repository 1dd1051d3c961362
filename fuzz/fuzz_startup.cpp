// Arbitrary settings files and command lines: the path from the arguments, the profile reader
// and writer, start-up on fakes with whatever the file holds, then the settings at work. The same
// bytes stand in for the QSO outbox the start-up reads and sends.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <arpa/inet.h>

#include "fuzz_input.h"
#include "platform/local_addresses.h"
#include "settings/profile_file.h"
#include "settings/settings.h"
#include "settings/settings_path.h"
#include "support/program_harness.h"

namespace {

using namespace qf;
using namespace qf::test;

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz_startup: %s\n", what);
        std::abort();
    }
}

// A key stored into any file reads back as stored, and no other key changes its value.
void checkStoreReadsBack(const std::string& content)
{
    const std::string_view section = kSettingsSection;
    const SettingKey& stored = kSettingKeys[content.size() % kSettingKeys.size()];
    const std::string value = "Q9 ZZZ/7";
    const auto updated = withProfileString(content, section, stored.key, value);
    require(updated.has_value(), "a settings key could not be stored");
    require(profileValue(*updated, section, stored.key, "?") == value, "a stored key does not read back");
    for (const SettingKey& other : kSettingKeys) {
        if (other.key != stored.key) {
            require(profileValue(*updated, section, other.key, "\x01") ==
                        profileValue(content, section, other.key, "\x01"),
                    "storing one key changed another");
        }
    }
}

// The receive socket is bound to an address of this machine, or (listening on one address) to the
// group it joins there: never to an address a settings file merely names.
void checkBoundAddresses(const ProgramHarness& h)
{
    for (const std::string& entry : h.sockets.at(0)->log) {
        const auto at = entry.find(" at ");
        if (!entry.starts_with("bind ") || at == std::string::npos) {
            continue;
        }
        const std::string address = entry.substr(at + 4);
        in_addr a{};
        const bool group = ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 28) == 0xE;
        require(isLoopbackAddress(address) || address == h.ownLanAddress || group,
                "the receive socket was bound to an address this machine lacks");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::StartUp input = fuzz::decodeStartUp(data, size);
    checkStoreReadsBack(input.config);

    // Wherever the arguments point, the fuzzed file is waiting there.
    const std::string path = settingsPathFromArguments(input.args, kAppFolder);
    ProgramHarness h(input.args);
    h.files.dirs.insert(kAppFolder);
    h.files.dirs.insert(FakeFileSystem::folderOf(path));
    h.files.files[path] = input.config;
    h.files.files[std::string(kAppFolder) + "/Outbox.txt"] = input.config;
    h.program->startUp();

    WindowModel& w = h.window();
    for (TextField* f :
         {&w.callsign, &w.locator, &w.udpPort, &w.multicastGroup, &w.servIP, &w.servPort, &w.moreRelays}) {
        f->loseFocus();
    }
    for (CheckBox* box : {&w.trace, &w.autoMon, &w.logUpload, &w.soloCQ, &w.passReplies}) {
        box->setChecked(!box->checked());
        box->setChecked(!box->checked());
    }
    w.start.click();
    w.start.click();
    h.startMonitoring();
    checkBoundAddresses(h);

    // What was loaded meets the traffic: ports, relay address, the operator's call and locator.
    h.tuneTo();
    h.decode("CQ Q1AAA FN42");
    h.decode("Q9ZZZ Q1BBB RR73");
    h.receive(wsjtx::qsoLoggedMessage({}));
    h.clock.advance(61);

    w.setPosition(w.top() == 1500 ? 3000 : 1500, w.left() == 1500 ? 3000 : 1500);
    h.clock.advanceMs(600);
    h.program->closing();
    return 0;
}
