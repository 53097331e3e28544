// SPDX-License-Identifier: Apache-2.0
// The administrator's commands of tarnwickctl, run as separate processes: check, edit, unset,
// --json, sets that write nothing, --version, and errors in words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <algorithm>
#include <string>
#include <vector>

#include "json_reader.h"
#include "child_process.h"
#include "environment.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using twctl::Json;
using twtest::ProcessResult;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using ::testing::Not;

namespace {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

size_t count_lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// The 1-based number of the first line that equals line (without its line ending).
size_t line_number(const std::string& text, const std::string& line) {
    size_t number = 1, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(start, end - start);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l == line) return number;
        ++number;
        start = end + 1;
    }
    return 0;
}

class AdminTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        do {
            dir_ = fs::temp_directory_path() / ("tarnwickctl-admin-" + std::to_string(random()));
        } while (!fs::create_directory(dir_));
        env_.set("QZ_CFG_FILE_PATH", dir_.string().c_str());
        env_.unset("VISUAL");
        env_.unset("EDITOR");
        file_ = (dir_ / "agent.cfg").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    ProcessResult ctl(const std::vector<std::string>& args, const std::string& input = "") {
        const std::string program = (twtest::program_dir() / TARNWICKCTL_FILE_NAME).string();
        ProcessResult r = twtest::run_process(program, args, input);
        EXPECT_NE(r.exit_code, -1) << "could not start " << program;
        return r;
    }

    // A complete file, as a write creates it (a set of a default changes nothing else).
    std::string make_complete_file() {
        const ProcessResult r = ctl({"set", "--file", file_, "Agent", "HostSymbol", ""});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return read_file(file_);
    }

    // Makes the file's modification time an hour old, so that any rewrite shows.
    fs::file_time_type age_file() {
        const fs::file_time_type old = fs::last_write_time(file_) - std::chrono::hours(1);
        fs::last_write_time(file_, old);
        return fs::last_write_time(file_);
    }

    // The editor command for the test editor with these operations.
    static std::string editor(const std::vector<std::string>& ops) {
        std::string command = "\"" + (twtest::program_dir() / FAKE_EDITOR_FILE_NAME).string() + "\"";
        for (const std::string& op : ops) command += " \"" + op + "\"";
        return command;
    }

    twtest::EnvGuard env_;
    fs::path dir_;
    std::string file_;
};

// ---- check

TEST_F(AdminTest, CheckListsEachFaultWithItsLineAndChangesNothing) {
    const std::string complete = make_complete_file();
    const size_t n = count_lines(complete);
    const size_t agent = line_number(complete, "[Agent]");
    const size_t timeout = line_number(complete, "TimeOut=20");
    ASSERT_GT(agent, 0u);
    ASSERT_GT(timeout, 0u);
    // The file's own line ending (CRLF on Windows) in the text to find and put.
    const std::string eol = complete.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const auto native = [&](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + eol.size()))
            text.replace(at, 1, eol);
        return text;
    };
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = complete;
        const size_t at = text.find(native(from));
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, native(from).size(), native(to));
    };
    const struct {
        const char* name;
        std::string text;
        std::vector<std::pair<size_t, std::string>> findings;  // line, part of the message
    } cases[] = {
        {"complete file", complete, {}},
        {"key twice in one section", replaced("[Agent]\n", "[Agent]\nTimeOut=7\n"),
         {{timeout + 1, "\"TimeOut\" again in [Agent]: line " + std::to_string(agent + 1) + " counts (the first)"}}},
        {"section twice", complete + "[Agent]\nTimeOut=5\n",
         {{n + 1, "section [Agent] again (first at line " + std::to_string(agent) + ")"},
          {n + 2, "\"TimeOut\" again in [Agent]: line " + std::to_string(timeout) + " counts"}}},
        {"schema key in another section", complete + "[Extra]\nHostSymbol=elsewhere\n",
         {{n + 2, "\"HostSymbol\" belongs in [Agent], not in [Extra]"}}},
        {"schema key only in another section", replaced("ChannelType=TCP\n", "") + "[Extra]\nChannelType=UDP\n",
         {{n + 1, "\"ChannelType\" belongs in [Agent], not in [Extra]: a get by name takes the first in file order"}}},
        {"schema key missing", replaced("ChannelType=TCP\n", ""),
         {{agent, "[Agent] has no \"ChannelType\": the next write adds ChannelType=TCP"}}},
        {"section missing", complete.substr(0, complete.find("[Fitful]")),
         {{line_number(complete, "[Fitful]") - 1, "no section [Fitful]: the next write adds it with its 5 keys"},
          {line_number(complete, "[Fitful]") - 1, "no section [WebHttp]"}}},
        {"line of no meaning", complete + "just some words\n",
         {{n + 1, "neither a comment, a section header nor key=value"}}},
        {"marker without its key", complete + "[Encription]\nGhostEncrypted=\n",
         {{n + 2, "scramble marker for \"Ghost\", but no key \"Ghost\" exists"}}},
        {"marker over eight digits", replaced("ServerPassword=\n", "ServerPassword=0000abcd\n") +
                                         "[Encription]\nServerPasswordEncrypted=\n",
         {{line_number(complete, "ServerPassword="), "not scrambled text: it holds a seed and no value"}}},
        {"marker over plain text", replaced("ServerPassword=\n", "ServerPassword=plain words\n") +
                                       "[Encription]\nServerPasswordEncrypted=\n",
         {{line_number(complete, "ServerPassword="), "not scrambled text: it holds characters that are not hex digits"}}},
        {"a Boolean neither True nor False", replaced("SSL=False\n", "SSL=yes\n"),
         {{line_number(complete, "SSL=False"), "\"SSL\" = \"yes\" is neither True nor False"}}},
        {"a port out of range", replaced("HttpPort=\n", "HttpPort=99999999\n"),
         {{line_number(complete, "HttpPort="), "is out of range (ports are 1 to 65535)"}}},
        {"a time-out that is no number", replaced("TimeOut=20\n", "TimeOut=abc\n"),
         {{timeout, "\"TimeOut\" = \"abc\" is not a whole number of seconds"}}},
        {"a scrambled value of odd length", replaced("ServerPassword=\n", "ServerPassword=00000001b1f\n") +
                                                "[Encription]\nServerPasswordEncrypted=\n",
         {{line_number(complete, "ServerPassword="), "its length is odd"}}},
        {"marker over seven digits", replaced("ServerPassword=\n", "ServerPassword=1234567\n") +
                                         "[Encription]\nServerPasswordEncrypted=\n",
         {{line_number(complete, "ServerPassword="), "it is shorter than the 8 digits of a seed"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file_, c.text);
        const fs::file_time_type mtime = age_file();
        const ProcessResult r = ctl({"check", "--file", file_});
        EXPECT_EQ(r.exit_code, c.findings.empty() ? 0 : 3) << r.out << r.err;
        EXPECT_THAT(r.err, IsEmpty());
        std::vector<std::string> lines;
        for (size_t s = 0, e; s < r.out.size(); s = e + 1) {
            e = r.out.find('\n', s);
            lines.push_back(r.out.substr(s, e - s));
        }
        ASSERT_EQ(lines.size(), c.findings.size()) << r.out;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_THAT(lines[i], ::testing::StartsWith(file_ + ":" + std::to_string(c.findings[i].first) + ": "));
            EXPECT_THAT(lines[i], HasSubstr(c.findings[i].second));
        }
        EXPECT_EQ(read_file(file_), c.text);
        EXPECT_EQ(fs::last_write_time(file_), mtime);

        const ProcessResult quiet = ctl({"check", "--quiet", "--file", file_});
        EXPECT_EQ(quiet.exit_code, r.exit_code);
        EXPECT_THAT(quiet.out, IsEmpty());
    }
}

TEST_F(AdminTest, CheckOfTheLocatedFileAndOfFilesItCannotRead) {
    // The located file is checked without opening it: a missing one stays missing.
    const ProcessResult missing = ctl({"check"});
    EXPECT_EQ(missing.exit_code, 5);
    EXPECT_THAT(missing.err, HasSubstr((dir_ / "k_agent_attribs.cfg").string() + ": the file"));
    EXPECT_THAT(missing.err, HasSubstr("does not exist"));
    EXPECT_FALSE(fs::exists(dir_ / "k_agent_attribs.cfg"));
    ASSERT_EQ(ctl({"set", "Agent", "HostSymbol", ""}).exit_code, 0);
    EXPECT_EQ(ctl({"check"}).exit_code, 0);

    const ProcessResult directory = ctl({"check", "--file", dir_.string()});
    EXPECT_EQ(directory.exit_code, 5);
    EXPECT_THAT(directory.err, HasSubstr("names a directory"));
    EXPECT_EQ(ctl({"check", "extra"}).exit_code, 2);
    EXPECT_EQ(ctl({"check", "--reveal"}).exit_code, 2);
}

// ---- unset

TEST_F(AdminTest, UnsetRemovesTheKeyAndLeavesEveryOtherByte) {
    // A write completes the file first: the cases follow a complete file, which it leaves.
    const std::string complete = make_complete_file();
    const struct {
        const char* name;
        std::string before;
        std::vector<std::string> args;
        std::string after;
    } cases[] = {
        {"one entry", "; top\r\n[A]\r\n  k = 1  \r\nj=2\r\n\r\n", {"A", "k"}, "; top\r\n[A]\r\nj=2\r\n\r\n"},
        {"every repeat, names in any case", "[A]\nk=1\n[B]\nk=2\n[a]\nK=3\n", {"a", "K"}, "[A]\n[B]\nk=2\n[a]\n"},
        {"last line without a break", "[A]\nj=2\nk=1", {"A", "k"}, "[A]\nj=2\n"},
        {"bytes that are not text", "[A]\nv=\xff\xfe\0x\nk=1\n"s, {"A", "k"}, "[A]\nv=\xff\xfe\0x\n"s},
        {"a stale marker", "[Agent]\nServerPassword=p\n[Encription]\nServerPasswordEncrypted=\n",
         {"Encription", "ServerPasswordEncrypted"}, "[Agent]\nServerPassword=p\n[Encription]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file_, complete + c.before);
        std::vector<std::string> args = {"unset"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"--file", file_});
        const ProcessResult r = ctl(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_THAT(r.out, StartsWith(file_ + ": changed: remove "));
        EXPECT_EQ(read_file(file_), complete + c.after);
    }
}

TEST_F(AdminTest, UnsetOfAnAbsentKeyWritesNothingAndAnOpeningRestoresASchemaDefault) {
    const std::string complete = make_complete_file();
    const fs::file_time_type mtime = age_file();
    const ProcessResult absent = ctl({"unset", "Agent", "NoSuchKey", "--file", file_});
    EXPECT_EQ(absent.exit_code, 0);
    EXPECT_EQ(absent.out, file_ + ": nothing changed\n");
    EXPECT_EQ(fs::last_write_time(file_), mtime);

    ASSERT_EQ(ctl({"unset", "Agent", "TimeOut", "--file", file_}).exit_code, 0);
    std::string expected = complete;
    const std::string line = complete.find("TimeOut=20\r\n") != std::string::npos ? "TimeOut=20\r\n" : "TimeOut=20\n";
    expected.erase(expected.find(line), line.size());
    EXPECT_EQ(read_file(file_), expected);
    ASSERT_EQ(ctl({"set", "Agent", "HostSymbol", "", "--file", file_}).exit_code, 0);
    EXPECT_EQ(ctl({"get", "TimeOut", "--file", file_}).out, "20\n");  // the next write added it back

    const ProcessResult missing = ctl({"unset", "A", "k", "--file", (dir_ / "none" / "x.cfg").string()});
    EXPECT_EQ(missing.exit_code, 5);
    EXPECT_THAT(missing.err, HasSubstr((dir_ / "none" / "x.cfg").string() + ": the file, or a directory of its path, "
                                       "does not exist (error -1010)"));
    EXPECT_EQ(ctl({"unset", "A"}).exit_code, 2);
}

// ---- JSON

TEST_F(AdminTest, ShowJsonGivesEveryEntryInFileOrderWhateverTheBytes) {
    const std::string bytes = "[Agent]\n"
                              "Quote=say \"hi\" \\ back\n"
                              "Utf8=gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x99\x82\n"
                              "Latin1=caf\xe9 \xff\n"
                              "Controls=a\tb\x01\x1f\x7f" "c\r\n"
                              "Overlong=\xc0\xaf \xed\xa0\x80\n"
                              "Nul=a\0b\n"
                              "[Caf\xe9]\n"
                              "K\xe9y=v\n"s;
    write_file(file_, bytes);
    const ProcessResult r = ctl({"show", "--json", "--file", file_});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    Json doc;
    std::string error;
    ASSERT_TRUE(twctl::parse_json(r.out, &doc, &error)) << error << "\n" << r.out;
    EXPECT_EQ(doc["file"].string, file_);
    const std::vector<Json>& entries = doc["entries"].array;
    const struct {
        std::string section, key, value;
    } expected[] = {
        {"Agent", "Quote", "say \"hi\" \\ back"},
        {"Agent", "Utf8", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x99\x82"},
        {"Agent", "Latin1", "caf\xe9 \xff"},
        {"Agent", "Controls", "a\tb\x01\x1f\x7f" "c"},
        {"Agent", "Overlong", "\xc0\xaf \xed\xa0\x80"},
        {"Agent", "Nul", "a\0b"s},
        {"Caf\xe9", "K\xe9y", "v"},
    };
    ASSERT_GE(entries.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].key);
        // The opening added the schema's keys of [Agent] after its last entry.
        const Json* e = &entries[i];
        for (const Json& other : entries) {
            if (i == 6 && other["key"].string == expected[i].key) e = &other;
        }
        EXPECT_EQ((*e)["section"].string, expected[i].section);
        EXPECT_EQ((*e)["key"].string, expected[i].key);
        EXPECT_EQ((*e)["value"].string, expected[i].value);
        EXPECT_EQ((*e)["line"].number, static_cast<double>(line_number(read_file(file_), i == 6 ? "K\xe9y=v" : "[Agent]") +
                                                          (i == 6 ? 0 : i + 1)));
        EXPECT_EQ((*e)["scrambled"].type, Json::kBool);
        EXPECT_FALSE((*e)["scrambled"].boolean);
    }
    // A read completes nothing: the schema's keys that the file lacks follow as defaults,
    // without a line.
    ASSERT_GT(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i]["default"].boolean, i >= std::size(expected)) << i;
        EXPECT_EQ(entries[i]["line"].type == Json::kNull, i >= std::size(expected)) << i;
    }
    // Nothing but ASCII goes out for bytes that are not UTF-8.
    EXPECT_THAT(r.out, HasSubstr("caf\\udce9 \\udcff"));
}

TEST_F(AdminTest, JsonRevealsEachScrambledEntryByItsOwnSectionAndKey) {
    // The same key, scrambled in two sections: a get by name reaches only the first.
    ASSERT_EQ(ctl({"set", "--scramble", "--file", file_, "Agent", "ServerPassword"}, "first secret\n").exit_code, 0);
    ASSERT_EQ(ctl({"set", "--scramble", "--allow-new", "--file", file_, "Other", "ServerPassword"}, "second secret\n").exit_code, 0);

    const auto entries_of = [&](const std::vector<std::string>& args) {
        const ProcessResult r = ctl(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        Json doc;
        std::string error;
        EXPECT_TRUE(twctl::parse_json(r.out, &doc, &error)) << error << r.out;
        std::vector<std::pair<std::string, Json>> found;
        for (const Json& e : doc["entries"].array) {
            if (e["key"].string == "ServerPassword") found.push_back({e["section"].string, e});
        }
        return found;
    };
    const auto hidden = entries_of({"show", "--json", "--file", file_});
    ASSERT_EQ(hidden.size(), 2u);
    for (const auto& [section, e] : hidden) {
        EXPECT_TRUE(e["scrambled"].boolean);
        // Neither in clear nor in the scrambled form, which anyone can undo.
        EXPECT_EQ(e["value"].type, Json::kNull);
    }
    const auto clear = entries_of({"show", "--json", "--reveal", "--file", file_});
    ASSERT_EQ(clear.size(), 2u);
    EXPECT_EQ(clear[0].first, "Agent");
    EXPECT_EQ(clear[0].second["value"].string, "first secret");
    EXPECT_EQ(clear[1].first, "Other");
    EXPECT_EQ(clear[1].second["value"].string, "second secret");

    // The plain listing reveals the same way.
    const ProcessResult text = ctl({"show", "--reveal", "--file", file_});
    EXPECT_THAT(text.out, HasSubstr("[Agent]\nServerMachine"));
    EXPECT_THAT(text.out, HasSubstr("ServerPassword = first secret\n"));
    EXPECT_THAT(text.out, HasSubstr("[Other]\nServerPassword = second secret\n"));

    // get --json: the entry a get by name reads.
    const ProcessResult get = ctl({"get", "ServerPassword", "--json", "--reveal", "--file", file_});
    ASSERT_EQ(get.exit_code, 0) << get.err;
    Json one;
    ASSERT_TRUE(twctl::parse_json(get.out, &one, nullptr)) << get.out;
    EXPECT_EQ(one["section"].string, "Agent");
    EXPECT_EQ(one["key"].string, "ServerPassword");
    EXPECT_EQ(one["value"].string, "first secret");
    EXPECT_TRUE(one["scrambled"].boolean);
    Json plain;
    ASSERT_TRUE(twctl::parse_json(ctl({"get", "TimeOut", "--json", "--file", file_}).out, &plain, nullptr));
    EXPECT_EQ(plain["value"].string, "20");
    EXPECT_FALSE(plain["scrambled"].boolean);
}

// ---- sets that change nothing

TEST_F(AdminTest, SetOfTheStoredValueLeavesTheFileUntouched) {
    make_complete_file();
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        bool rewrites;
    } steps[] = {
        {"plain, same value", {"set", "Agent", "TimeOut", "20"}, "", false},
        {"plain, new value", {"set", "Agent", "TimeOut", "30"}, "", true},
        {"plain, same again", {"set", "agent", "timeout", "30"}, "", false},
        {"scrambled, first time", {"set", "--scramble", "Agent", "ServerPassword"}, "pw one\n", true},
        {"scrambled, same secret", {"set", "--scramble", "Agent", "ServerPassword"}, "pw one\n", false},
        {"scrambled, same secret, other line end", {"set", "--scramble", "Agent", "ServerPassword"}, "pw one\r\n", false},
        {"scrambled, new secret", {"set", "--scramble", "Agent", "ServerPassword"}, "pw two\n", true},
        {"scrambled, in another section", {"set", "--scramble", "--allow-new", "Other", "ServerPassword"}, "pw two\n", true},
        {"scrambled, there too", {"set", "--scramble", "--allow-new", "Other", "ServerPassword"}, "pw two\n", false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::string before = read_file(file_);
        const fs::file_time_type mtime = age_file();
        std::vector<std::string> args = s.args;
        args.insert(args.end(), {"--file", file_});
        const ProcessResult r = ctl(args, s.input);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(fs::last_write_time(file_) != mtime, s.rewrites);
        EXPECT_EQ(read_file(file_) != before, s.rewrites);
    }
    EXPECT_EQ(ctl({"get", "ServerPassword", "--reveal", "--file", file_}).out, "pw two\n");
}

// ---- errors, version, help

TEST_F(AdminTest, ErrorsNameTheFileAndSayWhatHappened) {
    make_complete_file();
    const std::string missing_dir = (dir_ / "no" / "such" / "x.cfg").string();
    const struct {
        std::vector<std::string> args;
        std::string message;
        int status;
    } cases[] = {
        {{"get", "TimeOut", "--file", missing_dir},
         "tarnwickctl: " + missing_dir + ": the file, or a directory of its path, does not exist (error -1010)\n", 5},
        {{"show", "--file", dir_.string()},
         "tarnwickctl: " + dir_.string() + ": the path names a directory, a device, a pipe or a loop of links, not a "
                                            "file (error -1012)\n", 5},
        {{"set", "Agent", "TimeOut", "1", "--file", dir_.string()},
         "tarnwickctl: " + dir_.string() + ": the path names a directory, a device, a pipe or a loop of links, not a "
                                            "file (error -1012)\n", 5},
        {{"get", "NoSuchKey", "--file", file_},
         "tarnwickctl: " + file_ + ": \"NoSuchKey\": no section holds the attribute (error -25)\n", 1},
        {{"set", "Agent", " blank", "1", "--file", file_},
         "tarnwickctl: " + file_ + ": \" blank\": the key is refused: empty, blank at an edge, holding a line break or "
                                   "'=', or starting with '[', ';' or '#' (error -1008)\n", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ProcessResult r = ctl(c.args);
        EXPECT_EQ(r.exit_code, c.status);
        EXPECT_THAT(r.out, IsEmpty());
        EXPECT_EQ(r.err, c.message);
    }
}

TEST_F(AdminTest, VersionAndHelpTellTheVersionAndTheExitStatuses) {
    const ProcessResult version = ctl({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_THAT(version.out, ::testing::StartsWith("tarnwickctl "));
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '.'), 2) << version.out;
    EXPECT_EQ(version.out.find_first_not_of("0123456789.\n", 12), std::string::npos) << version.out;
    EXPECT_EQ(version.out.back(), '\n');
    EXPECT_THAT(version.err, IsEmpty());
    EXPECT_EQ(ctl({"--version", "extra"}).exit_code, 2);

    const ProcessResult help = ctl({"--help"});
    for (const char* line : {"Exit status:", "  0  done", "  1  get: no entry", "  2  the command line", "  3  the file is faulty",
                             "  4  refused input", "  5  an error of the library",
                             "check [--file F] [--quiet]", "edit [--file F]", "unset SECTION KEY", "--json"}) {
        EXPECT_THAT(help.out, HasSubstr(line));
    }
    for (const char* command : {"check", "edit", "unset"}) {
        const ProcessResult r = ctl({command, "--help"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_THAT(r.out, ::testing::StartsWith(std::string("usage: tarnwickctl ") + command));
    }
    EXPECT_THAT(ctl({"unset", "--help"}).out, HasSubstr("the next write adds its default again"));
}

// ---- edit

TEST_F(AdminTest, EditReplacesTheFileOnlyWithACleanChangedCopy) {
    const std::string complete = make_complete_file();
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = complete;
        return text.replace(text.find(from), from.size(), to);
    };
    const struct {
        const char* name;
        std::vector<std::string> ops;
        int exit_code;
        std::string file_after;   // empty: as before
        const char* message;      // part of standard error, or "" for none at all
    } cases[] = {
        {"unchanged", {}, 0, "", ""},
        {"a changed value", {"replace:TimeOut=20:TimeOut=45"}, 0, with("TimeOut=20", "TimeOut=45"), ""},
        {"a faulty line", {"append:no meaning\\n"}, 4, "", "neither a comment"},
        {"a key twice", {"replace:TimeOut=20:TimeOut=20\\nTimeOut=21"}, 4, "", "\"TimeOut\" again in [Agent]"},
        {"the editor fails", {"replace:TimeOut=20:TimeOut=46", "exit:3"}, 5, "", "failed (exit status 3)"},
        {"the file changes meanwhile", {"replace:TimeOut=20:TimeOut=47", "other:" + file_ + ":::; theirs\\n"}, 5,
         complete + "; theirs\n", "changed on disk"},
    };
    const fs::path scratch = dir_ / "tmp";
    fs::create_directory(scratch);
    env_.set("TMPDIR", scratch.string().c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file_, complete);
        const fs::file_time_type mtime = age_file();
        const fs::perms perms = fs::status(file_).permissions();
        env_.set("VISUAL", editor(c.ops).c_str());
        const ProcessResult r = ctl({"edit", "--file", file_});
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_THAT(r.out, IsEmpty());
        if (*c.message == '\0') {
            EXPECT_THAT(r.err, IsEmpty());
        } else {
            EXPECT_THAT(r.err, HasSubstr(c.message));
        }
        const std::string after = c.file_after.empty() ? complete : c.file_after;
        EXPECT_EQ(read_file(file_), after);
        if (c.file_after.empty()) {
            EXPECT_EQ(fs::last_write_time(file_), mtime);
        }
        EXPECT_EQ(fs::status(file_).permissions(), perms);
        // A refused edit leaves no copy behind: the temporary directory is gone.
        EXPECT_TRUE(fs::is_empty(scratch)) << r.err;
        if (c.exit_code != 0) {
            EXPECT_THAT(r.err, HasSubstr("nothing was saved: " + file_ + " is as it was"));
        }
    }
}

// A finding the file had before the edit does not block it; one the edit brings does.
TEST_F(AdminTest, EditRefusesOnlyWhatTheEditBrings) {
    const std::string complete = make_complete_file();
    write_file(file_, complete + "old junk\n");
    env_.set("VISUAL", editor({"replace:TimeOut=20:TimeOut=45"}).c_str());
    const ProcessResult kept = ctl({"edit", "--file", file_});
    EXPECT_EQ(kept.exit_code, 0) << kept.err;
    EXPECT_THAT(read_file(file_), HasSubstr("TimeOut=45"));
    EXPECT_THAT(read_file(file_), HasSubstr("old junk"));

    env_.set("VISUAL", editor({"replace:TimeOut=45:TimeOut=x"}).c_str());
    const ProcessResult refused = ctl({"edit", "--file", file_});
    EXPECT_EQ(refused.exit_code, 4);
    EXPECT_THAT(refused.err, HasSubstr("is not a whole number of seconds"));
    EXPECT_THAT(refused.err, Not(HasSubstr("old junk")));
    EXPECT_THAT(refused.err, HasSubstr("the edit brings 1 new problem; nothing was saved"));
    EXPECT_THAT(read_file(file_), HasSubstr("TimeOut=45"));
}

TEST_F(AdminTest, EditTakesVisualBeforeEditorAndReportsFilesItCannotEdit) {
    make_complete_file();
    env_.set("EDITOR", editor({"replace:TimeOut=20:TimeOut=50"}).c_str());
    ASSERT_EQ(ctl({"edit", "--file", file_}).exit_code, 0);
    EXPECT_EQ(ctl({"get", "TimeOut", "--file", file_}).out, "50\n");
    env_.set("VISUAL", editor({"replace:TimeOut=50:TimeOut=51"}).c_str());
    ASSERT_EQ(ctl({"edit", "--file", file_}).exit_code, 0);
    EXPECT_EQ(ctl({"get", "TimeOut", "--file", file_}).out, "51\n");

    const std::string missing = (dir_ / "none" / "missing.cfg").string();
    const ProcessResult r = ctl({"edit", "--file", missing});
    EXPECT_EQ(r.exit_code, 5);
    EXPECT_THAT(r.err, HasSubstr(missing + ": the file, or a directory of its path, does not exist"));
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
