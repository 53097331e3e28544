// SPDX-License-Identifier: Apache-2.0
// The C interface of the shared library: handle misuse, the call patterns of the attribute
// library, enumeration, and the handle table under several threads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "file_system.h"
#include "files.h"
#include "tarnwick/config.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

TEST(Api, BadHandlesAndArgumentsGiveCodes) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "[A]\nk=v\n");
    const std::string p = path;

    const config_handle deleted = new_config();
    ASSERT_NE(deleted, 0u);
    delete_config(deleted);
    const config_handle live = new_config();
    ASSERT_NE(live, 0u);
    ASSERT_NE(live, deleted);
    ASSERT_EQ(config_add_ini_file_source(live, p.c_str()), CONFIG_OK);
    const config_handle bare = new_config();  // no source yet

    for (config_handle bad : {config_handle{0}, deleted, live + 1, ~live}) {
        EXPECT_EQ(config_add_ini_file_source(bad, p.c_str()), CONFIG_E_HANDLE);
        EXPECT_EQ(config_add_ini_new_file_source(bad, dir.path("n.cfg").c_str()), CONFIG_E_HANDLE);
        EXPECT_EQ(config_get_attrib(bad, "k"), nullptr);
        EXPECT_EQ(config_get_attrib_val(bad, p.c_str(), "A", "k"), 0);
        EXPECT_EQ(config_set_attrib(bad, p.c_str(), "A", "k", "x"), CONFIG_E_HANDLE);
        EXPECT_EQ(config_save(bad, p.c_str(), 0), CONFIG_E_HANDLE);
        EXPECT_EQ(config_enum_attribs(bad, p.c_str(), [](void*, const char*, const char*, const char*) { return 0; },
                                      nullptr),
                  CONFIG_E_HANDLE);
        delete_config(bad);  // harmless
    }

    const std::string other = dir.path("other.cfg");
    EXPECT_EQ(config_add_ini_file_source(live, p.c_str()), CONFIG_E_HAS_SOURCE);
    EXPECT_EQ(config_add_ini_new_file_source(live, other.c_str()), CONFIG_E_HAS_SOURCE);
    EXPECT_EQ(config_add_ini_file_source(bare, nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_add_ini_new_file_source(bare, nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_get_attrib(live, nullptr), nullptr);
    EXPECT_EQ(config_get_attrib_val(live, nullptr, "A", "k"), 0);
    EXPECT_EQ(config_get_attrib_val(live, p.c_str(), nullptr, "k"), 0);
    EXPECT_EQ(config_get_attrib_val(live, p.c_str(), "A", nullptr), 0);
    EXPECT_EQ(config_get_attrib_val(live, other.c_str(), "A", "k"), 0);
    EXPECT_EQ(config_get_attrib_val(live, p.c_str(), "A]", "k"), 0);
    EXPECT_EQ(config_set_attrib(live, nullptr, "A", "k", "x"), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_set_attrib(live, p.c_str(), nullptr, "k", "x"), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_set_attrib(live, p.c_str(), "A", nullptr, "x"), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_set_attrib(live, p.c_str(), "A", "k", nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_set_attrib(live, other.c_str(), "A", "k", "x"), CONFIG_E_PATH);
    EXPECT_EQ(config_set_attrib(bare, p.c_str(), "A", "k", "x"), CONFIG_E_NO_SOURCE);
    EXPECT_EQ(config_save(live, nullptr, 0), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_save(live, other.c_str(), 0), CONFIG_E_PATH);
    EXPECT_EQ(config_save(live, p.c_str(), 2), CONFIG_E_FLAGS);
    EXPECT_EQ(config_save(bare, p.c_str(), 0), CONFIG_E_NO_SOURCE);
    EXPECT_EQ(config_enum_attribs(live, p.c_str(), nullptr, nullptr), CONFIG_E_ARGUMENT);

    // None of it touched the file or the live store.
    EXPECT_STREQ(config_get_attrib(live, "k"), "v");
    EXPECT_EQ(read_file(path), "[A]\nk=v\n");
    EXPECT_FALSE(std::filesystem::exists(other));
    delete_config(live);
    delete_config(bare);
    EXPECT_EQ(config_get_attrib(live, "k"), nullptr);
}

TEST(Api, ProductConfigurationPattern) {
    ScratchDir dir;
    const std::string path = dir.path("brix_agent.cfg");
    write_file(path, "[General]\r\nuniqueconfiguration = 1\r\n[Product]\r\nProductName=My Agent\r\n");
    const config_handle cfg = new_config();
    ASSERT_NE(cfg, 0u);
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    const char* unique = config_get_attrib(cfg, "UniqueConfiguration");
    const char* product = config_get_attrib(cfg, "ProductName");
    ASSERT_NE(unique, nullptr);
    ASSERT_NE(product, nullptr);
    EXPECT_STREQ(unique, "1");
    EXPECT_STREQ(product, "My Agent");
    EXPECT_EQ(config_get_attrib(cfg, "Missing"), nullptr);
    delete_config(cfg);
    EXPECT_EQ(read_file(path), "[General]\r\nuniqueconfiguration = 1\r\n[Product]\r\nProductName=My Agent\r\n");
}

TEST(Api, AttributeFilePattern) {
    ScratchDir dir;
    const std::string path = dir.path("k_agent_attribs.cfg");
    const std::string eol = cfg::native_line_ending();

    // A missing file: new source, defaults, save at once.
    config_handle cfg = new_config();
    ASSERT_EQ(config_add_ini_new_file_source(cfg, path.c_str()), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "ServerMachine", ""), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "TimeOut", "20"), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Http_Proxy", "Proxy", "False"), CONFIG_OK);
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    delete_config(cfg);
    EXPECT_EQ(read_file(path),
              "[Agent]" + eol + "ServerMachine=" + eol + "TimeOut=20" + eol + "[Http_Proxy]" + eol + "Proxy=False" + eol);

    // An existing file an administrator edited: completed key by key, everything else kept.
    write_file(path, "; edited by hand\n[agent]\nTIMEOUT = 45 \n\n[Http_Proxy]\nProxy=True\n");
    cfg = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    EXPECT_NE(config_get_attrib_val(cfg, path.c_str(), "Agent", "TimeOut"), 0);
    EXPECT_EQ(config_get_attrib_val(cfg, path.c_str(), "Agent", "ServerMachine"), 0);
    EXPECT_EQ(config_get_attrib_val(cfg, path.c_str(), "Agent", "Proxy"), 0);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "ServerMachine", ""), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Http_Proxy", "ProxyName", "proxy"), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Fitful", "FitfulType", "Batch"), CONFIG_OK);
    // A scrambled value and its marker, as the attribute library writes them.
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "ServerPassword", "0A1B"), CONFIG_OK);
    EXPECT_EQ(config_set_attrib(cfg, path.c_str(), "Encription", "ServerPasswordEncrypted", ""), CONFIG_OK);
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    EXPECT_STREQ(config_get_attrib(cfg, "timeout"), "45");
    EXPECT_STREQ(config_get_attrib(cfg, "ServerPasswordEncrypted"), "");
    const std::string completed =
        "; edited by hand\n[agent]\nTIMEOUT = 45 \nServerMachine=\nServerPassword=0A1B\n\n"
        "[Http_Proxy]\nProxy=True\nProxyName=proxy\n[Fitful]\nFitfulType=Batch\n"
        "[Encription]\nServerPasswordEncrypted=\n";
    EXPECT_EQ(read_file(path), completed);

    // Changes never saved are lost with the handle.
    ASSERT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "TimeOut", "1"), CONFIG_OK);
    EXPECT_STREQ(config_get_attrib(cfg, "TimeOut"), "1");
    delete_config(cfg);
    EXPECT_EQ(read_file(path), completed);
}

struct Listing {
    std::vector<std::string> seen;
    size_t stop_after = 0;  // 0: never stop
};

int32_t CONFIG_CALL record(void* ctx, const char* section, const char* key, const char* value) {
    Listing& l = *static_cast<Listing*>(ctx);
    l.seen.push_back(std::string(section) + "/" + key + "=" + value);
    return l.seen.size() == l.stop_after ? 42 : 0;
}

TEST(Api, EnumerationFollowsFileOrderAndStopsWhenAsked) {
    ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    write_file(path, "lone=1\n[Agent]\nb=2\n; a=no\na = 3 \n[proxy]\nB=4\n[AGENT]\nb=5\n");
    const config_handle cfg = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    ASSERT_EQ(config_set_attrib(cfg, path.c_str(), "agent", "c", "6"), CONFIG_OK);

    Listing all;
    EXPECT_EQ(config_enum_attribs(cfg, path.c_str(), record, &all), CONFIG_OK);
    EXPECT_EQ(all.seen, (std::vector<std::string>{"/lone=1", "Agent/b=2", "Agent/a=3", "Agent/c=6", "proxy/B=4",
                                                  "AGENT/b=5"}));
    Listing some;
    some.stop_after = 2;
    EXPECT_EQ(config_enum_attribs(cfg, path.c_str(), record, &some), 42);
    EXPECT_EQ(some.seen.size(), 2u);
    EXPECT_EQ(config_enum_attribs(cfg, dir.path("other.cfg").c_str(), record, &some), CONFIG_E_PATH);
    delete_config(cfg);
}

TEST(Api, HandlesFromManyThreadsNeverCollide) {
    ScratchDir dir;
    const std::string path = dir.path("shared.cfg");
    write_file(path, "[A]\nk=v\n");
    const int kThreads = 4, kRounds = 200;
    std::vector<std::vector<config_handle>> issued(kThreads);
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                const config_handle cfg = new_config();
                issued[t].push_back(cfg);
                if (cfg == 0 || config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) ++failures[t];
                const char* v = config_get_attrib(cfg, "k");
                if (v == nullptr || std::string(v) != "v") ++failures[t];
                delete_config(cfg);
                if (config_get_attrib(cfg, "k") != nullptr) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    std::set<config_handle> distinct;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0);
        distinct.insert(issued[t].begin(), issued[t].end());
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kRounds));
    EXPECT_EQ(distinct.count(0), 0u);
}

}  // namespace
