// SPDX-License-Identifier: Apache-2.0
#include "proxy/proxy_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy/proxy.h"

namespace {

constexpr char kFill = '#';
constexpr size_t kGuard = 16;

// A kProxyTextSize buffer inside guard bytes, all set to kFill.
struct GuardedBuffer {
    std::vector<char> bytes = std::vector<char>(tw::kProxyTextSize + 2 * kGuard, kFill);
    char* data() { return bytes.data() + kGuard; }
    bool guards_intact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (bytes[i] != kFill || bytes[bytes.size() - 1 - i] != kFill) return false;
        }
        return true;
    }
    bool untouched() const { return bytes == std::vector<char>(bytes.size(), kFill); }
};

struct ListCase {
    std::string list;
    int32_t found;
    std::string host;
    std::string port;
};

std::string repeat(char c, size_t n) { return std::string(n, c); }

TEST(ParseProxyList, ChoosesAndSplitsTheHttpProxy) {
    const std::string host1023 = repeat('h', 1023);
    const std::string port1023 = repeat('9', 1023);
    const ListCase cases[] = {
        {"proxy:8080", 1, "proxy", "8080"},
        {"proxy", 1, "proxy", "80"},
        {"http=proxy:3128 https=secure:443", 1, "proxy", "3128"},
        {"ftp=files:21 http=proxy", 1, "proxy", "80"},
        {"proxy:8080 http=other:3128", 1, "other", "3128"},
        {"http=http://proxy:3128", 1, "proxy", "3128"},
        {"xhttp=proxy:1", 1, "proxy", "1"},
        {"https=secure:443 ftp=files:21", 0, "", ""},
        {"ftp=files:21 proxy:8080", 1, "proxy", "8080"},
        {"  proxy:8080 other:9090", 1, "proxy", "8080"},
        {"http=proxy:8080;https=secure:443", 1, "proxy", "8080;https=secure:443"},
        {"http=proxy;https=secure:443", 1, "proxy;https=secure", "443"},
        {"http://proxy:8080", 1, "http", "//proxy:8080"},
        {"http=", 1, "", "80"},
        {"http=:8080", 1, "", "8080"},
        {"http= proxy:8080", 1, "", "80"},
        {"HTTP=proxy:80", 0, "", ""},
        {"", 0, "", ""},
        {" \t\n ", 0, "", ""},
        // Tokens end at any separator, not only at a space.
        {"proxy:8080\tother:9090", 1, "proxy", "8080"},
        {"ftp=files:21\nproxy:3128", 1, "proxy", "3128"},
        {"http=proxy:3128 ftp=files:21", 1, "proxy", "3128"},
        {"http=a:b:c", 1, "a", "b:c"},
        // A control character would land inside a value: nothing found.
        {"http=proxy:3128\tftp=files:21", 0, "", ""},
        {"http=proxy\tname:80", 0, "", ""},
        {"http=proxy:80\r", 0, "", ""},
        {"proxy:80\r", 0, "", ""},
        {"http=pro\x7Fxy", 0, "", ""},
        // Texts that fill the buffers exactly fit; one character more is nothing found.
        {"http=" + host1023 + ":1", 1, host1023, "1"},
        {"http=h:" + port1023, 1, "h", port1023},
        {"http=" + host1023 + "h:1", 0, "", ""},
        {"http=h:" + port1023 + "9", 0, "", ""},
        {host1023 + "h", 0, "", ""},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.list.size() > 60 ? c.list.substr(0, 60) + "..." : c.list);
        std::vector<char> list(c.list.begin(), c.list.end());
        list.push_back('\0');
        GuardedBuffer host, port;
        ASSERT_EQ(tw::parse_proxy_list(list.data(), host.data(), port.data()), c.found);
        EXPECT_TRUE(host.guards_intact());
        EXPECT_TRUE(port.guards_intact());
        if (c.found) {
            EXPECT_EQ(std::string(host.data()), c.host);
            EXPECT_EQ(std::string(port.data()), c.port);
        } else {
            EXPECT_TRUE(host.untouched());
            EXPECT_TRUE(port.untouched());
        }
    }
}

}  // namespace
