#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_status_server.h"
#include "status/status_page.h"

namespace qf::test {
namespace {

bool own(const std::string& dotted)
{
    return dotted.rfind("127.", 0) == 0 || dotted == "192.168.1.20";
}

TEST(StatusPage, the_settings_place_the_page_or_say_why_it_is_off)
{
    const struct {
        const char* port;
        const char* address;
        const char* listensOn; // "" when off
        bool problem;
    } cases[] = {
        {"", "", "127.0.0.1:8737", false},
        {" 9000 ", "192.168.1.20", "192.168.1.20:9000", false},
        {"8737", "0.0.0.0", "0.0.0.0:8737", false},
        {"0", "", "", false},
        {"65536", "", "", true},
        {"80a", "", "", true},
        {"-1", "", "", true},
        {"8737", "192.168.1.99", "", true}, // not this machine's
        {"8737", "localhost", "", true},
        {"8737", "127.0.0.1.5", "", true},
        {"8737", "127.0.0.256", "", true},
    };
    for (const auto& c : cases) {
        const StatusEndpoint where = statusEndpointFrom(c.port, c.address, own);
        const std::string listens = where.port == 0 ? "" : where.address + ":" + std::to_string(where.port);
        EXPECT_EQ(listens, c.listensOn) << c.port << " " << c.address;
        EXPECT_EQ(!where.problem.empty(), c.problem) << c.port << " " << c.address << ": " << where.problem;
    }
}

// A page elsewhere can point a name of its own at 127.0.0.1 (DNS rebinding): only names of this machine.
TEST(StatusPage, answers_to_addresses_localhost_and_the_machines_own_name_only)
{
    const struct {
        const char* host;
        bool allowed;
    } cases[] = {
        {"127.0.0.1:8737", true},
        {"192.168.1.20:8737", true},
        {"[::1]:8737", true},
        {"localhost:8737", true},
        {"LOCALHOST", true},
        {"pi:8737", true},
        {"Pi.local.:8737", true},
        {"", true},
        {"evil.example:8737", false},
        {"pi.evil.example", false},
        {"localhost.evil.example", false},
        {"127.0.0.1.evil.example", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hostAllowed(c.host, "pi"), c.allowed) << c.host;
    }
}

class StatusPageAnswers : public ::testing::Test {
  protected:
    StatusPageAnswers()
    {
        auto s = std::make_unique<FakeStatusServer>();
        server = s.get();
        page.start(std::move(s), StatusEndpoint{"127.0.0.1", 8737, ""});
    }
    StatusPage page{[] { return std::string("{\"json\":1}"); }, "pi"};
    FakeStatusServer* server = nullptr;
};

TEST_F(StatusPageAnswers, serves_four_paths_to_get_and_head_and_refuses_everything_else)
{
    const struct {
        const char* method;
        const char* path;
        const char* host;
        int status;
        const char* type;
        const char* body;
    } cases[] = {
        {"GET", "/", "127.0.0.1:8737", 200, "text/html; charset=utf-8", "file index.html"},
        {"GET", "/status.js", "127.0.0.1:8737", 200, "text/javascript; charset=utf-8", "file status.js"},
        {"GET", "/status.css", "127.0.0.1:8737", 200, "text/css; charset=utf-8", "file status.css"},
        {"GET", "/status.json", "127.0.0.1:8737", 200, "application/json", "{\"json\":1}"},
        {"HEAD", "/status.json", "127.0.0.1:8737", 200, "application/json", "{\"json\":1}"},
        {"GET", "/index.html", "127.0.0.1:8737", 404, "text/plain; charset=utf-8", nullptr},
        {"GET", "/../config.ini", "127.0.0.1:8737", 404, "text/plain; charset=utf-8", nullptr},
        {"POST", "/status.json", "127.0.0.1:8737", 405, "text/plain; charset=utf-8", nullptr},
        {"PUT", "/", "127.0.0.1:8737", 405, "text/plain; charset=utf-8", nullptr},
        {"OPTIONS", "/", "127.0.0.1:8737", 405, "text/plain; charset=utf-8", nullptr},
        {"", "/", "127.0.0.1:8737", 405, "text/plain; charset=utf-8", nullptr},
        {"GET", "/status.json", "rebound.example", 403, "text/plain; charset=utf-8", nullptr},
    };
    for (const auto& c : cases) {
        const HttpReply r = server->request(c.method, c.path, c.host);
        const std::string what = std::string(c.method) + " " + c.path;
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.contentType, c.type) << what;
        if (c.body != nullptr) {
            EXPECT_EQ(r.body, c.body) << what;
        }
        EXPECT_EQ(r.headersOnly, std::string(c.method) == "HEAD") << what;
        const auto header = [&](const std::string& name) {
            const auto it = std::find_if(r.headers.begin(), r.headers.end(), [&](auto& h) { return h.first == name; });
            return it == r.headers.end() ? std::string() : it->second;
        };
        EXPECT_EQ(header("Content-Security-Policy").rfind("default-src 'none'; ", 0), 0u) << what;
        EXPECT_EQ(header("X-Content-Type-Options"), "nosniff") << what;
        EXPECT_EQ(header("Allow"), c.status == 405 ? "GET, HEAD" : "") << what;
        for (const auto& [name, value] : r.headers) {
            EXPECT_NE(name, "Set-Cookie") << what;
            EXPECT_EQ(name.rfind("Access-Control-", 0), std::string::npos) << what;
        }
    }
}

TEST(StatusPageStart, a_port_that_is_taken_or_a_setting_that_cannot_be_used_leaves_the_page_off_with_a_reason)
{
    StatusPage page([] { return std::string(); }, "pi");
    auto taken = std::make_unique<FakeStatusServer>();
    taken->listenFailure = Failure(10048, "Address already in use");
    page.start(std::move(taken), StatusEndpoint{"127.0.0.1", 8737, ""});
    EXPECT_FALSE(page.on());
    EXPECT_EQ(page.line(), "status page off: port 8737 on 127.0.0.1: another program is using it; set StatusPort "
                           "to a free port, or 0");

    page.start(nullptr, statusEndpointFrom("8737", "10.9.9.9", own));
    EXPECT_FALSE(page.on());
    EXPECT_EQ(page.line(), "status page off: StatusAddress \"10.9.9.9\" is not an address of this machine (127.0.0.1 "
                           "for this machine only, 0.0.0.0 for every address)");

    page.start(std::make_unique<FakeStatusServer>(), StatusEndpoint{"0.0.0.0", 8737, ""});
    EXPECT_TRUE(page.on());
    EXPECT_EQ(page.line(), "status page: http://127.0.0.1:8737/ (and port 8737 of every address of this machine)");
}

} // namespace
} // namespace qf::test
