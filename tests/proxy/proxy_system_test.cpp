// Discovery through the system's own query: the Internet services library on Windows, its
// stand-in on Linux.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy/proxy.h"
#include "proxy/proxy_query.h"
#include "system_proxy_setting.h"

namespace {

TEST(FindQueryFunction, NeedsTheLibraryAndTheFunction) {
    EXPECT_EQ(tw::find_query_function("tw_no_such_library.dll", "InternetQueryOptionA"), nullptr);
    EXPECT_EQ(tw::find_query_function("corvane.dll", "InternetQueryOptionA"), nullptr);
    EXPECT_NE(tw::find_query_function("corvane.dll", "maw_malloc"), nullptr);
    EXPECT_NE(tw::find_query_function("wininet.dll", "InternetQueryOptionA"), nullptr);
}

TEST(GetSystemProxy, ReadsTheSystemSettings) {
    const std::string long_host(1000, 'p');  // the list outgrows the first 1024-byte query
    const std::string long_server = long_host + ":8080";
    const std::string too_long = std::string(1100, 'p') + ":8080";  // the host outgrows its buffer
    const struct {
        const char* server;
        int32_t found;
        std::string host;
        std::string port;
    } cases[] = {
        {"proxy.example:3128", 1, "proxy.example", "3128"},
        {"proxy.example", 1, "proxy.example", "80"},
        {nullptr, 0, "", ""},
        {long_server.c_str(), 1, long_host, "8080"},
        {too_long.c_str(), 0, "", ""},
    };
    for (const auto& c : cases) {
        const std::string server = c.server ? c.server : "(none)";
        SCOPED_TRACE(server.substr(0, 40));
        ScopedSystemProxy setting(c.server);
        std::vector<char> host(tw::kProxyTextSize, '#'), port(tw::kProxyTextSize, '#');
        EXPECT_EQ(tw::get_system_proxy(host.data(), port.data()), c.found);
        if (c.found) {
            EXPECT_EQ(std::string(host.data()), c.host);
            EXPECT_EQ(std::string(port.data()), c.port);
        } else {
            EXPECT_EQ(host, std::vector<char>(tw::kProxyTextSize, '#'));
            EXPECT_EQ(port, std::vector<char>(tw::kProxyTextSize, '#'));
        }
    }
}

}  // namespace
