// SPDX-License-Identifier: Apache-2.0
#include "proxy_env.h"
#include "wininet.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "environment.h"

namespace {

TEST(ProxyListFromUrl, StripsSchemeCredentialsAndPath) {
    const struct {
        const char* url;
        const char* list;
    } cases[] = {
        {"proxy.example:3128", "http=proxy.example:3128"},
        {"http://proxy.example:3128", "http=proxy.example:3128"},
        {"http://proxy.example:3128/", "http=proxy.example:3128"},
        {"https://proxy.example", "http=proxy.example"},
        {"socks5h://user:pw@proxy.example:1080/a/b?c#d", "http=proxy.example:1080"},
        {"http://us@r:p@ss@proxy:8080", "http=proxy:8080"},
        {"proxy:8080/path://x", "http=proxy:8080"},
        {"proxy:8080?x=1", "http=proxy:8080"},
        {"  http://proxy:8080 \r\n", "http=proxy:8080"},
        {"10.0.0.1:80", "http=10.0.0.1:80"},
        {"http://", ""},
        {"http://user@/", ""},
        {"   ", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wininet::proxy_list_from_url(c.url), c.list) << (c.url ? c.url : "NULL");
    }
}

// Sets or removes both variables for one test and restores them after.
class ProxyEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        env_.unset("http_proxy");
        env_.unset("HTTP_PROXY");
    }
    twtest::EnvGuard env_;
};

TEST_F(ProxyEnvironment, LowerCaseWinsAndEmptyCountsAsUnset) {
    EXPECT_EQ(wininet::system_proxy_list(), "");
    env_.set("HTTP_PROXY", "upper:1");
    EXPECT_EQ(wininet::system_proxy_list(), "http=upper:1");
    env_.set("http_proxy", "");
    EXPECT_EQ(wininet::system_proxy_list(), "http=upper:1");
    env_.set("http_proxy", "lower:2");
    EXPECT_EQ(wininet::system_proxy_list(), "http=lower:2");
}

TEST_F(ProxyEnvironment, QueryWritesTheRecordInsideTheBuffer) {
    env_.set("http_proxy", "http://proxy:3128");
    const uint32_t needed = sizeof(WininetProxyInfo) + sizeof "http=proxy:3128";

    uint32_t size = 0;
    errno = 0;
    EXPECT_EQ(InternetQueryOptionA(nullptr, WININET_OPTION_PROXY, nullptr, &size), 0);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(size, needed);

    std::vector<char> buffer(needed + 8, '#');
    size = needed - 1;
    errno = 0;
    EXPECT_EQ(InternetQueryOptionA(nullptr, WININET_OPTION_PROXY, buffer.data(), &size), 0);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer, std::vector<char>(needed + 8, '#'));

    size = needed;
    ASSERT_NE(InternetQueryOptionA(nullptr, WININET_OPTION_PROXY, buffer.data(), &size), 0);
    const auto* info = reinterpret_cast<const WininetProxyInfo*>(buffer.data());
    EXPECT_EQ(info->access_type, WININET_OPEN_TYPE_PROXY);
    ASSERT_NE(info->proxy, nullptr);
    EXPECT_STREQ(info->proxy, "http=proxy:3128");
    EXPECT_GE(info->proxy, buffer.data());
    EXPECT_LT(info->proxy, buffer.data() + needed);
    EXPECT_EQ(buffer[needed], '#');
}

TEST_F(ProxyEnvironment, QueryWithoutProxyAndBadArguments) {
    WininetProxyInfo info{};
    uint32_t size = sizeof info;
    ASSERT_NE(InternetQueryOptionA(nullptr, WININET_OPTION_PROXY, &info, &size), 0);
    EXPECT_EQ(info.access_type, WININET_OPEN_TYPE_DIRECT);
    EXPECT_EQ(info.proxy, nullptr);

    int handle = 0;
    const struct {
        void* internet;
        uint32_t option;
        uint32_t* size;
    } bad[] = {{&handle, WININET_OPTION_PROXY, &size}, {nullptr, 39, &size}, {nullptr, WININET_OPTION_PROXY, nullptr}};
    for (const auto& b : bad) {
        errno = 0;
        EXPECT_EQ(InternetQueryOptionA(b.internet, b.option, &info, b.size), 0);
        EXPECT_EQ(errno, EINVAL);
    }
}

}  // namespace
