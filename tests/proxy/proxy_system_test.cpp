// SPDX-License-Identifier: Apache-2.0
// Discovery through the system's own query: the Internet services library on Windows, its
// stand-in on Linux.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <link.h>
#endif

#include <string>
#include <vector>

#include "proxy/proxy.h"
#include "proxy/proxy_query.h"
#include "library_references.h"
#include "system_proxy_setting.h"

namespace {

// A host this long makes the list, behind the structure the query writes first, outgrow the
// first query's buffer on every target (the structure is 12 bytes on 32-bit Windows, 24 on
// 64-bit) while staying short enough for the host buffer.
constexpr size_t kRegrowingHostLength = tw::kFirstQuerySize - sizeof(tw::InternetProxyInfo);
static_assert(kRegrowingHostLength + 1 <= size_t(tw::kProxyTextSize), "the host must fit its buffer");

TEST(FindQueryFunction, NeedsTheLibraryAndTheFunction) {
    EXPECT_EQ(tw::find_query_function("tw_no_such_library.dll", "InternetQueryOptionA"), nullptr);
    EXPECT_EQ(tw::find_query_function("corvane.dll", "InternetQueryOptionA"), nullptr);
    EXPECT_NE(tw::find_query_function("corvane.dll", "maw_malloc"), nullptr);
    EXPECT_NE(tw::find_query_function("wininet.dll", "InternetQueryOptionA"), nullptr);
}

TEST(GetSystemProxy, ReadsTheSystemSettings) {
    const std::string long_host(kRegrowingHostLength, 'p');
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

#ifndef _WIN32
// The path of the loaded object whose file name is name, or "".
std::string loaded_path(const std::string& name) {
    struct Search {
        std::string suffix, path;
    } search{"/" + name, ""};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (path.size() < s->suffix.size() ||
                path.compare(path.size() - s->suffix.size(), s->suffix.size(), s->suffix) != 0)
                return 0;
            s->path = path;
            return 1;
        },
        &search);
    return search.path;
}

// Every opening of a new file asks for the system's proxy: the library answering it is loaded
// once, not once more on each call. (On Linux each case runs in a process of its own; on
// Windows the Internet services library is the system's, shared with whatever else uses it.)
TEST(GetSystemProxy, TheLibraryIsLoadedOnce) {
    ScopedSystemProxy setting("proxy.example:3128");
    std::vector<char> host(tw::kProxyTextSize), port(tw::kProxyTextSize);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(tw::get_system_proxy(host.data(), port.data()), 1);
    const std::string path = loaded_path("libwininet.so");
    ASSERT_FALSE(path.empty()) << "the proxy library is not loaded";
    EXPECT_EQ(release_library(path.c_str()), 1) << "three queries hold one reference";
}
#endif

tw::QueryOptionFn g_system_query = nullptr;
std::vector<uint32_t> g_sizes;

// Passes every query on to the system, noting the buffer size offered.
int TW_SYSTEM_CALL counting_query(void* internet, uint32_t option, void* buffer, uint32_t* size) {
    g_sizes.push_back(*size);
    return g_system_query(internet, option, buffer, size);
}

TEST(GetSystemProxy, ALongListNeedsTheOneRegrowth) {
    g_system_query = tw::find_query_function("wininet.dll", "InternetQueryOptionA");
    ASSERT_NE(g_system_query, nullptr);
    const std::string host(kRegrowingHostLength, 'q');
    const std::string server = host + ":3128";
    ScopedSystemProxy setting(server.c_str());
    std::vector<char> found_host(tw::kProxyTextSize), found_port(tw::kProxyTextSize);
    g_sizes.clear();
    ASSERT_EQ(tw::query_system_proxy(counting_query, found_host.data(), found_port.data()), 1);
    EXPECT_EQ(std::string(found_host.data()), host);
    EXPECT_EQ(std::string(found_port.data()), "3128");
    ASSERT_EQ(g_sizes.size(), 2u);
    EXPECT_EQ(g_sizes[0], 1024u);
    EXPECT_GT(g_sizes[1], 1024u);
}

}  // namespace
