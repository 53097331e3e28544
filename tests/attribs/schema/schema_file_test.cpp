// SPDX-License-Identifier: Apache-2.0
// The schema on real files: what opening writes into a new file, what completion adds to an
// existing one and what it keeps, and many processes opening the same file at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "proxy/proxy.h"
#include "schema_expected.h"
#include "tarnwick.h"
#include "tarnwick/config.h"

namespace {

namespace fs = std::filesystem;
using twtest::kExpected;
using twtest::Row;

struct Entry {
    std::string section, key, value;
};

int32_t CONFIG_CALL collect(void* ctx, const char* section, const char* key, const char* value) {
    static_cast<std::vector<Entry>*>(ctx)->push_back({section, key, value});
    return 0;
}

// Every key of the file in file order, as the store reads it.
std::vector<Entry> read_entries(const fs::path& file) {
    std::vector<Entry> entries;
    const std::string path = file.string();
    const config_handle cfg = new_config();
    EXPECT_NE(cfg, 0u);
    EXPECT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK) << path;
    config_enum_attribs(cfg, path.c_str(), &collect, &entries);
    delete_config(cfg);
    return entries;
}

// Opens the file the way a host does, and closes it again without saving.
int32_t open_and_close(const fs::path& file) {
    AttribMngr* mngr = nullptr;
    const int32_t code = attrib_mngr_init(file.string().c_str(), &mngr);
    delete_attribs_mngr(mngr);
    return code;
}

// The proxy texts a new file gets on this machine.
std::map<std::string, std::string> system_proxy_defaults() {
    char host[tw::kProxyTextSize] = "";
    char port[tw::kProxyTextSize] = "";
    if (tw::get_system_proxy(host, port) != 1) return {{"ProxyName", ""}, {"ProxyPort", ""}};
    return {{"ProxyName", host}, {"ProxyPort", port}};
}

// Every row of the schema appears exactly once, in its own section, and each section's keys
// are one run in the file (the section header appears once).
void expect_whole_schema(const std::vector<Entry>& entries) {
    for (const Row& row : kExpected) {
        const auto count = std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
            return e.section == row.section && e.key == row.key;
        });
        EXPECT_EQ(count, 1) << row.section << "/" << row.key;
    }
    std::vector<std::string> runs;
    for (const Entry& e : entries)
        if (runs.empty() || runs.back() != e.section) runs.push_back(e.section);
    std::vector<std::string> unique = runs;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::adjacent_find(unique.begin(), unique.end()), unique.end()) << "a section is split in the file";
}

std::string value_of(const std::vector<Entry>& entries, const std::string& section, const std::string& key) {
    for (const Entry& e : entries)
        if (e.section == section && e.key == key) return e.value;
    return "<missing>";
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class SchemaFile : public ::testing::Test {
protected:
    twtest::ScratchDir scratch_{"schema"};
    const fs::path root_ = scratch_.dir();
};

TEST_F(SchemaFile, ANewFileHoldsEveryDefaultInTableOrder) {
    const fs::path file = root_ / "new.cfg";
    ASSERT_EQ(open_and_close(file), ATTRIB_MNGR_OK);

    const std::vector<Entry> entries = read_entries(file);
    const auto proxy = system_proxy_defaults();
    ASSERT_EQ(entries.size(), std::size(kExpected));
    for (size_t i = 0; i < entries.size(); ++i) {
        const Row& row = kExpected[i];
        SCOPED_TRACE(row.key);
        EXPECT_EQ(entries[i].section, row.section);
        EXPECT_EQ(entries[i].key, row.key);
        EXPECT_EQ(entries[i].value, proxy.count(row.key) ? proxy.at(row.key) : row.value);
    }
    expect_whole_schema(entries);
}

TEST_F(SchemaFile, ACompleteFileIsLeftByteForByte) {
    const fs::path file = root_ / "complete.cfg";
    ASSERT_EQ(open_and_close(file), ATTRIB_MNGR_OK);
    const std::string before = twtest::read_file(file);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(open_and_close(file), ATTRIB_MNGR_OK);
    EXPECT_EQ(twtest::read_file(file), before);
}

TEST_F(SchemaFile, CompletionKeepsWhatIsPresentAndAddsTheRest) {
    struct Kept {
        const char* section;
        const char* key;
        const char* value;
    };
    struct Case {
        const char* label;
        std::string text;
        std::vector<Kept> expected;  // values after completion, beyond the schema's defaults
        bool port_from_system = false;  // ProxyPort was missing: it holds the system's port text
    };
    const Case cases[] = {
        {"empty TimeOut", "[Agent]\nTimeOut=\n", {{"Agent", "TimeOut", ""}}},
        {"Security example",
         "[Security]\nSSL=False\nServerAuthentication=False\nClientCertificate=False\nPrivateKeyPassword=\n"
         "ClientAuthentication=False\nPrivateKeyUsername=someone\n",
         {{"Security", "ServerAuthentication", "False"},
          {"Security", "PrivateKeyUsername", "someone"},
          {"Security", "CertificateFileName", ""},
          {"Security", "PrivateKeyFileName", ""}}},
        {"ProxyName only under Agent",
         "[Agent]\nProxyName=elsewhere\n",
         {{"Agent", "ProxyName", "elsewhere"}, {"Http_Proxy", "Proxy", "False"}}},
        {"ProxyName without ProxyPort", "[Http_Proxy]\nProxyName=corp\n", {{"Http_Proxy", "ProxyName", "corp"}}, true},
        {"values that differ from the defaults",
         "[Agent]\nTimeOut=90\nChannelType=HTTP\n[Fitful]\nFitfulType=Stream\n",
         {{"Agent", "TimeOut", "90"}, {"Agent", "ChannelType", "HTTP"}, {"Fitful", "FitfulType", "Stream"}}},
    };
    const auto proxy = system_proxy_defaults();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = root_ / "partial.cfg";
        twtest::write_file(file, c.text);
        ASSERT_EQ(open_and_close(file), ATTRIB_MNGR_OK);

        const std::vector<Entry> entries = read_entries(file);
        expect_whole_schema(entries);
        for (const Kept& k : c.expected) EXPECT_EQ(value_of(entries, k.section, k.key), k.value) << k.key;
        if (c.port_from_system) {
            EXPECT_EQ(value_of(entries, "Http_Proxy", "ProxyPort"), proxy.at("ProxyPort"));
        }
        fs::remove(file);
    }
}

TEST_F(SchemaFile, AHandWrittenFileKeepsCommentsLineEndingsAndUnknownSections) {
    const fs::path file = root_ / "hand.cfg";
    const std::string text =
        "; written by hand\r\n"
        "[Agent]\r\n"
        "; the server\r\n"
        "ServerMachine=srv01\r\n"
        "\r\n"
        "[Custom]\r\n"
        "Colour=blue\r\n"
        "\r\n"
        "[Http_Proxy]\r\n"
        "Proxy=True\r\n";
    twtest::write_file(file, text);
    ASSERT_EQ(open_and_close(file), ATTRIB_MNGR_OK);

    const std::string after = twtest::read_file(file);
    for (const char* kept : {"; written by hand\r\n", "; the server\r\nServerMachine=srv01\r\n", "[Custom]\r\nColour=blue\r\n"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    EXPECT_EQ(occurrences(after, "\n"), occurrences(after, "\r\n")) << "every line ends in CRLF";
    for (const char* header : {"[Agent]", "[Http_Proxy]", "[Security]", "[Fitful]", "[WebHttp]", "[Custom]"})
        EXPECT_EQ(occurrences(after, header), 1u) << header;

    const std::vector<Entry> entries = read_entries(file);
    expect_whole_schema(entries);
    EXPECT_EQ(value_of(entries, "Agent", "ServerMachine"), "srv01");
    EXPECT_EQ(value_of(entries, "Http_Proxy", "Proxy"), "True");
    EXPECT_EQ(value_of(entries, "Custom", "Colour"), "blue");
}

// Eight processes open the same file together; each must succeed and the file must hold
// every section and key once.
TEST_F(SchemaFile, ManyProcessesOpenTheSameFileTogether) {
    struct Case {
        const char* label;
        const char* initial;  // nullptr: the file does not exist
    };
    const Case cases[] = {
        {"missing file", nullptr},
        {"incomplete file", "[Agent]\nServerMachine=srv01\n[Security]\nSSL=True\n"},
    };
    const fs::path host = twtest::helper_path("schema_host");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = root_ / "shared.cfg";
        const fs::path go = root_ / "go";
        fs::remove(file);
        fs::remove(go);
        if (c.initial != nullptr) twtest::write_file(file, c.initial);

        std::vector<twtest::Child> children;
        for (int i = 0; i < 8; ++i) {
            const fs::path out = root_ / ("host" + std::to_string(i) + ".out");
            fs::remove(out);
            children.emplace_back(host, std::vector<std::string>{out.string(), file.string(), go.string()}, root_);
            EXPECT_TRUE(children.back().running()) << host;
        }
        twtest::write_file(go, "go");
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(children[i].wait(), 0) << i;
            EXPECT_EQ(twtest::read_file(root_ / ("host" + std::to_string(i) + ".out")), "open 0\n") << i;
        }

        const std::string text = twtest::read_file(file);
        for (const char* header : {"[Agent]", "[Http_Proxy]", "[Security]", "[Fitful]", "[WebHttp]"})
            EXPECT_EQ(occurrences(text, header), 1u) << header;
        const std::vector<Entry> entries = read_entries(file);
        EXPECT_EQ(entries.size(), std::size(kExpected));
        expect_whole_schema(entries);
        if (c.initial != nullptr) {
            EXPECT_EQ(value_of(entries, "Agent", "ServerMachine"), "srv01");
            EXPECT_EQ(value_of(entries, "Security", "SSL"), "True");
        }
    }
}

}  // namespace
