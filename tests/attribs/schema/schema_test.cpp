// SPDX-License-Identifier: Apache-2.0
// The schema operations against a recording store: which keys are tested and set, in which
// order, with which values, and when the system proxy is asked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "attribs/schema.h"
#include "schema_expected.h"

namespace {

using ::testing::ElementsAreArray;
using twtest::Row;
using twtest::kExpected;

constexpr config_handle kCfg = 42;
constexpr char kPath[] = "agent.cfg";

using Key = std::pair<std::string, std::string>;

// A store that records every call in one log: "get S/K", "set S/K=V", "proxy", "save".
struct Recorder {
    std::map<Key, std::string> keys;
    std::vector<std::string> log;
    bool system_has_proxy = false;
    int32_t set_result = 0;
    int32_t save_result = 0;
    bool foreign_arguments = false;
};

Recorder* g_recorder = nullptr;

bool ours(config_handle cfg, const char* path) { return cfg == kCfg && std::string(path) == kPath; }

int32_t CONFIG_CALL fake_get(config_handle cfg, const char* path, const char* section, const char* key) {
    g_recorder->foreign_arguments |= !ours(cfg, path);
    g_recorder->log.push_back(std::string("get ") + section + "/" + key);
    return g_recorder->keys.count({section, key}) ? 1 : 0;
}

int32_t CONFIG_CALL fake_set(config_handle cfg, const char* path, const char* section, const char* key,
                             const char* value) {
    g_recorder->foreign_arguments |= !ours(cfg, path);
    g_recorder->log.push_back(std::string("set ") + section + "/" + key + "=" + value);
    g_recorder->keys[{section, key}] = value;
    return g_recorder->set_result;
}

int32_t CONFIG_CALL fake_save(config_handle cfg, const char* path, int32_t flags) {
    g_recorder->foreign_arguments |= !ours(cfg, path) || flags != 0;
    g_recorder->log.push_back("save");
    return g_recorder->save_result;
}

int32_t fake_proxy(char* host, char* port) {
    g_recorder->log.push_back("proxy");
    if (!g_recorder->system_has_proxy) return 0;
    std::strcpy(host, "proxy");
    std::strcpy(port, "8080");
    return 1;
}

const tw::SchemaCalls kFakeCalls = {&fake_get, &fake_set, &fake_save, &fake_proxy};

std::string set_line(const Row& row, const char* value) {
    return std::string("set ") + row.section + "/" + row.key + "=" + value;
}

// The value a new or completed key gets: the table's, or the system proxy's host and port.
const char* default_for(const Row& row, bool system_has_proxy) {
    if (system_has_proxy && std::string(row.key) == "ProxyName") return "proxy";
    if (system_has_proxy && std::string(row.key) == "ProxyPort") return "8080";
    return row.value;
}

std::vector<std::string> lines_starting(const std::vector<std::string>& log, const std::string& prefix) {
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

class Schema : public ::testing::Test {
protected:
    void SetUp() override { g_recorder = &recorder_; }
    void TearDown() override { g_recorder = nullptr; }
    Recorder recorder_;
};

TEST_F(Schema, NewFileGetsEveryRowOnceInOrderAfterOneProxyQuestion) {
    struct Case {
        const char* label;
        bool system_has_proxy;
        int32_t set_result;
    };
    const Case cases[] = {
        {"no system proxy", false, 0},
        {"system proxy proxy:8080", true, 0},
        {"every set fails", false, -1001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        recorder_ = Recorder{};
        recorder_.system_has_proxy = c.system_has_proxy;
        recorder_.set_result = c.set_result;

        tw::set_default_attribs(kFakeCalls, kCfg, kPath);

        std::vector<std::string> expected{"proxy"};
        for (const Row& row : kExpected) expected.push_back(set_line(row, default_for(row, c.system_has_proxy)));
        EXPECT_THAT(recorder_.log, ElementsAreArray(expected));
        EXPECT_FALSE(recorder_.foreign_arguments);
    }
}

// A store holding every row with a non-default value, minus the keys named in missing.
std::map<Key, std::string> full_store_without(std::initializer_list<Key> missing) {
    std::map<Key, std::string> keys;
    for (const Row& row : kExpected) keys[{row.section, row.key}] = "kept";
    for (const Key& key : missing) keys.erase(key);
    return keys;
}

// What completion keeps and adds is checked on real files; here, the order of tests and sets
// and when the system is asked.
TEST_F(Schema, CompletionTestsEveryRowAndAsksForTheProxyOnlyWhenNeeded) {
    struct Case {
        const char* label;
        std::map<Key, std::string> keys;
        bool system_has_proxy;
        std::vector<std::string> expected_sets;
        int expected_proxy_questions;
    };
    std::vector<std::string> all_rows_with_proxy;
    for (const Row& row : kExpected) all_rows_with_proxy.push_back(set_line(row, default_for(row, true)));

    auto with = [](std::map<Key, std::string> keys, std::initializer_list<std::pair<const Key, std::string>> more) {
        for (const auto& entry : more) keys[entry.first] = entry.second;
        return keys;
    };
    const Case cases[] = {
        {"empty file", {}, true, all_rows_with_proxy, 1},
        {"complete file", full_store_without({}), true, {}, 0},
        {"port missing, no system proxy",
         full_store_without({{"Http_Proxy", "ProxyPort"}}),
         false,
         {"set Http_Proxy/ProxyPort="},
         1},
        {"port missing, system proxy",
         with(full_store_without({{"Http_Proxy", "ProxyPort"}}), {{{"Http_Proxy", "ProxyName"}, "corp"}}),
         true,
         {"set Http_Proxy/ProxyPort=8080"},
         1},
        {"host missing, system proxy",
         full_store_without({{"Http_Proxy", "ProxyName"}}),
         true,
         {"set Http_Proxy/ProxyName=proxy"},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        recorder_ = Recorder{};
        recorder_.keys = c.keys;
        recorder_.system_has_proxy = c.system_has_proxy;
        recorder_.save_result = -1005;

        EXPECT_EQ(tw::complete_attribs(kFakeCalls, kCfg, kPath), -1005) << "the save's result is returned";

        const std::vector<std::string>& log = recorder_.log;
        EXPECT_THAT(lines_starting(log, "set "), ElementsAreArray(c.expected_sets));
        EXPECT_EQ(std::count(log.begin(), log.end(), "proxy"), c.expected_proxy_questions);
        EXPECT_EQ(std::count(log.begin(), log.end(), "save"), 1);
        EXPECT_EQ(log.back(), "save");
        EXPECT_EQ(lines_starting(log, "get ").size(), std::size(kExpected)) << "every row is tested once";
        EXPECT_FALSE(recorder_.foreign_arguments);

        // Host and port are both tested before the system is asked and before either is set.
        const auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
        const auto port_test = at("get Http_Proxy/ProxyPort");
        EXPECT_EQ(at("get Http_Proxy/ProxyName") + 1, port_test);
        for (size_t i = 0; i < static_cast<size_t>(port_test); ++i) {
            EXPECT_NE(log[i], "proxy");
            EXPECT_NE(log[i].rfind("set Http_Proxy/ProxyName=", 0), 0u);
        }
    }
}

}  // namespace
