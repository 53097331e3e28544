// SPDX-License-Identifier: Apache-2.0
// tarnwickctl apply run as a process: a table of states against the file's bytes and the JSON
// result, check mode, and secrets kept out of every output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "files.h"
#include "json_reader.h"
#include "schema_expected.h"

namespace fs = std::filesystem;
using twctl::Json;
using twtest::ProcessResult;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

// A complete file in the schema's order, with one key the schema does not know and one
// schema key in another section than its own.
std::string complete_file() {
    std::string text, section;
    for (const twtest::Row& r : twtest::kExpected) {
        if (r.section != section) text += "[" + (section = r.section) + "]\n";
        text += std::string(r.key) + "=" + r.value + "\n";
        if (std::string(r.key) == "ServerDomain") text += "LegacyKey=old\nProxyDomain=elsewhere\n";
    }
    return text;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The value of the first "key=" line of text.
std::string value_of(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    const size_t start = at + key.size() + 2;
    std::string value = text.substr(start, text.find('\n', start) - start);
    if (!value.empty() && value.back() == '\r') value.pop_back();  // a CRLF file (Windows)
    return value;
}

std::vector<std::string> changes_of(const Json& doc) {
    std::vector<std::string> out;
    for (const Json& c : doc["changes"].array)
        out.push_back(c["action"].string + " " + c["section"].string + "/" + c["key"].string +
                      (c["scrambled"].boolean ? " (scrambled)" : ""));
    return out;
}

class ApplyTest : public ::testing::Test {
protected:
    ProcessResult apply(const std::vector<std::string>& options, const std::string& state) {
        std::vector<std::string> args = {"apply", "--file", file_.string(), "--json"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("-");
        ProcessResult r = twtest::run_process(twtest::program_dir() / TARNWICKCTL_FILE_NAME, args, state);
        EXPECT_NE(r.exit_code, -1);
        return r;
    }
    // The JSON result of a run that must succeed.
    Json result(const ProcessResult& r) {
        EXPECT_EQ(r.exit_code, 0) << r.err;
        Json doc;
        std::string error;
        EXPECT_TRUE(twctl::parse_json(r.out, &doc, &error)) << error << "\n" << r.out;
        return doc;
    }
    // Sets the file's modification time an hour back, so that any rewrite shows.
    fs::file_time_type age_file() {
        fs::last_write_time(file_, fs::last_write_time(file_) - std::chrono::hours(1));
        return fs::last_write_time(file_);
    }

    twtest::ScratchDir scratch_{"apply"};
    const fs::path file_ = scratch_.dir() / "agent.cfg";
};

TEST_F(ApplyTest, StatesChangeTheFileAsTheyDescribeAndReportIt) {
    const std::string base = complete_file();
    struct Case {
        const char* name;
        std::string state;
        int status;  // 0, or the refused input's status
        std::string bytes;  // the file after; the scrambled value stands as SCRAMBLED
        std::vector<std::string> changes;
    };
    const int refused = 4;  // refused input
    const std::vector<Case> cases = {
        {"set", R"({"Agent": {"TimeOut": "45", "ServerMachine": "srv.example"}})", 0,
         replaced(replaced(base, "TimeOut=20", "TimeOut=45"), "ServerMachine=\n", "ServerMachine=srv.example\n"),
         {"set Agent/ServerMachine", "set Agent/TimeOut"}},
        {"add, also a new section with --allow-new", R"({"Agent": {"NewKey": "a=b ;#"}, "Extra": {"K": ""}})", 0,
         replaced(base, "elsewhere\n", "elsewhere\nNewKey=a=b ;#\n") + "[Extra]\nK=\n",
         {"add Agent/NewKey", "add Extra/K"}},
        {"remove", R"({"Agent": {"LegacyKey": null, "NeverThere": null}})", 0, replaced(base, "LegacyKey=old\n", ""),
         {"remove Agent/LegacyKey"}},
        {"scrambled", R"({"Http_Proxy": {"ProxyPassword": {"scrambled": "s3cret"}}})", 0,
         replaced(base, "ProxyPassword=\n", "ProxyPassword=SCRAMBLED\n") + "[Encription]\nProxyPasswordEncrypted=\n",
         {"set Http_Proxy/ProxyPassword (scrambled)", "add Encription/ProxyPasswordEncrypted"}},
        {"remove a schema key from another section", R"({"Agent": {"ProxyDomain": null}})", 0,
         replaced(base, "ProxyDomain=elsewhere\n", ""), {"remove Agent/ProxyDomain"}},
        {"unchanged", R"({"agent": {"timeout": "20", "NeverThere": null}, "Security": {}})", 0, base, {}},
        // A removal in a mistyped section would do nothing, silently.
        {"unknown section", R"({"Agent": {"TimeOut": "1"}, "Agnet": {"TimeOut": null}})", refused, base, {}},
        {"schema key elsewhere", R"({"Agent": {"ProxyPassword": {"scrambled": "x"}}})", refused, base, {}},
        {"store refuses a value", R"({"Agent": {"TimeOut": "1", "ServerMachine": " lead"}})", refused, base, {}},
        {"store refuses a name", R"({"Agent": {"Bad=Key": null}})", refused, base, {}},
        {"a number", R"({"Agent": {"TimeOut": 30}})", refused, base, {}},
        {"a key twice", R"({"Agent": {"TimeOut": "1", "TIMEOUT": "2"}})", refused, base, {}},
        {"a long name", R"({"Agent": {")" + std::string(256, 'k') + R"(": "1"}})", refused, base, {}},
        {"a NUL byte", R"({"Agent": {"TimeOut": "1\u0000"}})", refused, base, {}},
        {"bad scrambled object", R"({"Agent": {"TimeOut": {"scrambled": "1", "x": "2"}}})", refused, base, {}},
        {"not JSON", R"({"Agent": {"TimeOut": "1")", refused, base, {}},
        {"too deep", std::string(100000, '['), refused, base, {}},
        {"not an object", R"(["Agent"])", refused, base, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(twtest::write_file(file_, base));
        const fs::file_time_type mtime = age_file();
        const bool allow_new = std::string(c.name).rfind("add", 0) == 0;
        const ProcessResult r = apply(allow_new ? std::vector<std::string>{"--allow-new"} : std::vector<std::string>{},
                                      c.state);
        const std::string bytes = twtest::read_file(file_);
        if (c.bytes == base) {
            EXPECT_EQ(fs::last_write_time(file_), mtime) << "the file was rewritten";
        }
        if (c.status != 0) {
            EXPECT_EQ(r.exit_code, c.status) << r.err;
            EXPECT_THAT(r.out, IsEmpty());
            EXPECT_THAT(r.err, HasSubstr("nothing was written"));
            EXPECT_EQ(bytes, base);
            continue;
        }
        const Json doc = result(r);
        EXPECT_EQ(doc["changed"].boolean, c.bytes != base);
        EXPECT_EQ(doc["file"].string, file_.string());
        EXPECT_EQ(changes_of(doc), c.changes);
        const std::string scrambled = value_of(bytes, "ProxyPassword");
        EXPECT_EQ(bytes, c.bytes.find("SCRAMBLED") == std::string::npos ? c.bytes
                                                                          : replaced(c.bytes, "SCRAMBLED", scrambled));
        EXPECT_THAT(r.out + r.err, Not(HasSubstr("s3cret")));
    }
}

TEST_F(ApplyTest, RefusalsNameEveryRefusedEntryAndWhy) {
    const std::string state = R"({"Agnet": {"TimeOut": "30"}, "Agent": {"ProxyPort": "8080", "ServerMachine": " x"}})";
    // Not even the defaults of a missing file are written.
    EXPECT_EQ(apply({}, state).exit_code, 4);
    EXPECT_FALSE(fs::exists(file_));
    ASSERT_TRUE(twtest::write_file(file_, complete_file()));
    const ProcessResult r = apply({}, state);
    EXPECT_THAT(r.err, HasSubstr("\"Agnet\": no such section"));
    EXPECT_THAT(r.err, HasSubstr("\"Agent/ProxyPort\": a key of [Http_Proxy]"));
    EXPECT_THAT(r.err, HasSubstr("\"Agent/ServerMachine\": the value is refused"));
}

TEST_F(ApplyTest, ASecretAppliedAgainWritesNothing) {
    const std::string state = R"({"Agent": {"ServerPassword": {"scrambled": "pa55"}}})";
    EXPECT_TRUE(result(apply({}, state))["changed"].boolean);
    // Upper-case digits read back alike; a new scrambling would write lower case (and, in
    // another second, another seed).
    std::string scrambled = value_of(twtest::read_file(file_), "ServerPassword"), upper = scrambled;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_NE(upper, scrambled);
    const std::string bytes = replaced(twtest::read_file(file_), scrambled, upper);
    ASSERT_TRUE(twtest::write_file(file_, bytes));
    const fs::file_time_type mtime = age_file();
    const Json again = result(apply({}, state));
    EXPECT_FALSE(again["changed"].boolean);
    EXPECT_THAT(again["changes"].array, IsEmpty());
    EXPECT_EQ(twtest::read_file(file_), bytes);
    EXPECT_EQ(fs::last_write_time(file_), mtime);
    // Another secret is a change.
    EXPECT_EQ(changes_of(result(apply({}, R"({"Agent": {"ServerPassword": {"scrambled": "pa56"}}})"))),
              std::vector<std::string>{"set Agent/ServerPassword (scrambled)"});
}

TEST_F(ApplyTest, CheckWritesNothingAndReportsWhatTheRunDoes) {
    const std::string state = R"({"Agent": {"TimeOut": "45", "LegacyKey": null}, "Security": {"SSL": "True"}})";
    // A missing file stays missing, and would be created.
    const Json fresh = result(apply({"--check"}, state));
    EXPECT_TRUE(fresh["changed"].boolean);
    EXPECT_EQ(fresh["changes"].array.size(), std::size(twtest::kExpected));
    EXPECT_FALSE(fs::exists(file_));

    ASSERT_TRUE(twtest::write_file(file_, complete_file()));
    const std::string bytes = twtest::read_file(file_);
    const fs::file_time_type mtime = age_file();
    const fs::path link = scratch_.dir() / "same-file";
    fs::create_hard_link(file_, link);
    const Json checked = result(apply({"--check", "--diff"}, state));
    EXPECT_EQ(twtest::read_file(file_), bytes);
    EXPECT_EQ(fs::last_write_time(file_), mtime);
    EXPECT_TRUE(fs::equivalent(file_, link));
    EXPECT_EQ(checked["diff"]["before"].string, bytes);
    fs::remove(link);

    const Json done = result(apply({"--diff"}, state));
    EXPECT_TRUE(checked["changed"].boolean);
    EXPECT_EQ(changes_of(checked), changes_of(done));
    EXPECT_EQ(checked["diff"]["after"].string, done["diff"]["after"].string);
    EXPECT_EQ(done["diff"]["after"].string, twtest::read_file(file_));
}

TEST_F(ApplyTest, TheDiffHoldsNoSecretInClearOrScrambledForm) {
    // A secret stored before, one the state replaces, one it adds, and one a plain value
    // replaces on a key whose marker stays (so that the plain value is a secret too).
    ASSERT_EQ(apply({}, R"({"Agent": {"ServerPassword": {"scrambled": "old-one"}},
                            "Http_Proxy": {"ProxyUsername": {"scrambled": "user-one"}},
                            "Security": {"PrivateKeyPassword": {"scrambled": "kept-one"}}})")
                  .exit_code,
              0);
    const std::string before = twtest::read_file(file_);
    const std::string state = R"({"Agent": {"ServerPassword": {"scrambled": "new-one"}, "TimeOut": "9"},
                                  "Http_Proxy": {"ProxyPassword": {"scrambled": "third-one"},
                                                 "ProxyUsername": "plain-one"}})";
    const ProcessResult checked = apply({"--check", "--diff"}, state);
    const ProcessResult words = twtest::run_process(twtest::program_dir() / TARNWICKCTL_FILE_NAME,
                                                    {"apply", "--file", file_.string(), "--check", "--diff", "-"}, state);
    const ProcessResult done = apply({"--diff"}, state);
    const std::string after = twtest::read_file(file_);
    ASSERT_NE(after, before);
    const std::string outputs = checked.out + checked.err + words.out + words.err + done.out + done.err;
    ASSERT_EQ(value_of(after, "ProxyUsername"), "plain-one");
    for (const std::string& secret :
         {std::string("old-one"), std::string("new-one"), std::string("kept-one"), std::string("third-one"),
          std::string("user-one"), std::string("plain-one"), value_of(before, "ServerPassword"),
          value_of(before, "PrivateKeyPassword"), value_of(before, "ProxyUsername"),
          value_of(after, "ServerPassword"), value_of(after, "ProxyPassword")}) {
        ASSERT_FALSE(secret.empty());
        EXPECT_THAT(outputs, Not(HasSubstr(secret)));
    }
    for (const ProcessResult* r : {&checked, &done}) {
        const Json doc = result(*r);
        EXPECT_THAT(doc["diff"]["after"].string, HasSubstr("ServerPassword=(secret, changed)\n"));
        EXPECT_THAT(doc["diff"]["after"].string, HasSubstr("PrivateKeyPassword=(secret)\n"));
        EXPECT_THAT(doc["diff"]["before"].string, HasSubstr("ServerPassword=(secret)\n"));
        EXPECT_THAT(doc["diff"]["before"].string, HasSubstr("ProxyUsername=(secret)\n"));
        EXPECT_THAT(doc["diff"]["after"].string, HasSubstr("ProxyUsername=(secret, changed)\n"));
    }
    EXPECT_EQ(words.exit_code, 0) << words.err;
    EXPECT_THAT(words.out, HasSubstr("\n-TimeOut=20\n+TimeOut=9\n"));
}

}  // namespace
