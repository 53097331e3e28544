// SPDX-License-Identifier: Apache-2.0
#include "proxy/proxy_query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "last_error.h"
#include "proxy/proxy.h"

namespace {

// One answer of the scripted query.
struct Reply {
    enum Kind { kFail, kTooSmall, kList } kind;
    uint32_t needed;   // kTooSmall: the size reported as needed
    const char* list;  // kList: the proxy list, NULL for none
    bool inside;       // kList: place the list inside the caller's buffer
};

struct Script {
    std::vector<Reply> replies;
    std::vector<uint32_t> sizes;  // the size passed in, per call
};
Script g_script;

int TW_SYSTEM_CALL scripted_query(void* internet, uint32_t option, void* buffer, uint32_t* size) {
    EXPECT_EQ(internet, nullptr);
    EXPECT_EQ(option, tw::kInternetOptionProxy);
    const size_t call = g_script.sizes.size();
    g_script.sizes.push_back(*size);
    if (call >= g_script.replies.size()) {
        ADD_FAILURE() << "unexpected query " << call + 1;
        set_last_error_other();
        return 0;
    }
    const Reply& reply = g_script.replies[call];
    switch (reply.kind) {
        case Reply::kFail:
            set_last_error_other();
            return 0;
        case Reply::kTooSmall:
            *size = reply.needed;
            set_last_error_insufficient_buffer();
            return 0;
        case Reply::kList:
            break;
    }
    auto* info = static_cast<tw::InternetProxyInfo*>(buffer);
    info->access_type = 3;
    info->proxy = reply.list;
    info->proxy_bypass = nullptr;
    if (reply.list != nullptr && reply.inside) {
        const size_t length = std::strlen(reply.list) + 1;
        if (sizeof *info + length > *size) {
            ADD_FAILURE() << "list does not fit the buffer of " << *size;
            return 0;
        }
        char* text = static_cast<char*>(buffer) + sizeof *info;
        std::memcpy(text, reply.list, length);
        info->proxy = text;
    }
    return 1;
}

struct QueryCase {
    const char* name;
    std::vector<Reply> replies;
    int32_t found;
    std::string host;
    std::string port;
    std::vector<uint32_t> sizes;
};

TEST(QuerySystemProxy, OneRegrowthAndNothingOnFailure) {
    static const std::string long_host(1000, 'p');
    static const std::string long_list = "http=" + long_host + ":3128";
    const QueryCase cases[] = {
        {"list inside the buffer", {{Reply::kList, 0, "http=proxy:3128", true}}, 1, "proxy", "3128", {1024}},
        {"list elsewhere", {{Reply::kList, 0, "proxy:8080", false}}, 1, "proxy", "8080", {1024}},
        {"grown once", {{Reply::kTooSmall, 2000, nullptr, false}, {Reply::kList, 0, long_list.c_str(), true}},
         1, long_host, "3128", {1024, 2000}},
        // A needed size below the record itself still leaves room for the record.
        {"tiny size needed", {{Reply::kTooSmall, 4, nullptr, false}, {Reply::kList, 0, "proxy", false}},
         1, "proxy", "80", {1024, sizeof(tw::InternetProxyInfo)}},
        {"query fails", {{Reply::kFail, 0, nullptr, false}}, 0, "", "", {1024}},
        {"regrown query fails", {{Reply::kTooSmall, 3000, nullptr, false}, {Reply::kFail, 0, nullptr, false}},
         0, "", "", {1024, 3000}},
        {"no third attempt",
         {{Reply::kTooSmall, 3000, nullptr, false}, {Reply::kTooSmall, 5000, nullptr, false}}, 0, "", "",
         {1024, 3000}},
        {"null list", {{Reply::kList, 0, nullptr, false}}, 0, "", "", {1024}},
        {"empty list", {{Reply::kList, 0, "", true}}, 0, "", "", {1024}},
        {"no http proxy in the list", {{Reply::kList, 0, "https=secure:443", true}}, 0, "", "", {1024}},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_script = Script{c.replies, {}};
        std::vector<char> host(tw::kProxyTextSize, '#'), port(tw::kProxyTextSize, '#');
        EXPECT_EQ(tw::query_system_proxy(scripted_query, host.data(), port.data()), c.found);
        EXPECT_EQ(g_script.sizes, c.sizes);
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
