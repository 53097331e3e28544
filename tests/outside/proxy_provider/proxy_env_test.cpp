#include "proxy_env.h"
#include "wininet.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

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
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::string(value) : std::string("\x01"));
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < 2; ++i) {
            if (saved_[i] == "\x01") {
                unsetenv(kNames[i]);
            } else {
                setenv(kNames[i], saved_[i].c_str(), 1);
            }
        }
    }
    static constexpr const char* kNames[2] = {"http_proxy", "HTTP_PROXY"};
    std::vector<std::string> saved_;
};

TEST_F(ProxyEnvironment, LowerCaseWinsAndEmptyCountsAsUnset) {
    EXPECT_EQ(wininet::system_proxy_list(), "");
    setenv("HTTP_PROXY", "upper:1", 1);
    EXPECT_EQ(wininet::system_proxy_list(), "http=upper:1");
    setenv("http_proxy", "", 1);
    EXPECT_EQ(wininet::system_proxy_list(), "http=upper:1");
    setenv("http_proxy", "lower:2", 1);
    EXPECT_EQ(wininet::system_proxy_list(), "http=lower:2");
}

TEST_F(ProxyEnvironment, QueryWritesTheRecordInsideTheBuffer) {
    setenv("http_proxy", "http://proxy:3128", 1);
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
