// SPDX-License-Identifier: Apache-2.0
// What a save reads and writes once the store tracks its changes; values handed out and the
// bytes put back on saving; a last line that ends in a lone CR.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "document.h"
#include "file_system.h"
#include "files.h"
#include "pass_through_file_system.h"
#include "store.h"
#include "tarnwick/config.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

// The operating system's file system, counting the files opened for reading and written.
class CountingFileSystem final : public twtest::PassThroughFileSystem {
public:
    int reads = 0;
    int writes = 0;

    int32_t open_for_read(const std::string& path, std::unique_ptr<cfg::ReadableFile>* file) override {
        ++reads;
        return os().open_for_read(path, file);
    }
    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<cfg::WritableFile>* file) override {
        ++writes;
        return os().create_temp(target, temp_path, file);
    }
};

const std::string kFile = "; agent\n[Agent]\nTimeOut = 20 \n";

TEST(SaveTracking, ReadsAndWritesOnlyWhatChangedOrWhatTheDiskLost) {
    const struct {
        const char* name;
        std::function<void(cfg::Store&, const std::string&)> between;  // after a first save
        int reads;   // by the second save
        int writes;
        std::string after;
    } cases[] = {
        {"nothing", [](cfg::Store&, const std::string&) {}, 0, 0, kFile},
        {"a value read", [](cfg::Store& s, const std::string&) { s.get("timeout"); }, 0, 0, kFile},
        {"the same value set", [](cfg::Store& s, const std::string& p) { s.set(p, "agent", "TimeOut", "20"); }, 0,
         0, kFile},
        {"a refused set", [](cfg::Store& s, const std::string& p) { s.set(p, "Agent", "k", " x"); }, 0, 0, kFile},
        {"an absent key removed", [](cfg::Store& s, const std::string& p) { s.remove(p, "Agent", "none"); }, 0, 0,
         kFile},
        {"a value changed", [](cfg::Store& s, const std::string& p) { s.set(p, "Agent", "TimeOut", "45"); }, 1, 1,
         "; agent\n[Agent]\nTimeOut = 45 \n"},
        {"a key removed", [](cfg::Store& s, const std::string& p) { s.remove(p, "Agent", "TimeOut"); }, 1, 1,
         "; agent\n[Agent]\n"},
        // The disk no longer holds what was loaded: the store's bytes are put back.
        {"the file deleted", [](cfg::Store&, const std::string& p) { twtest::fs::remove(p); }, 1, 1, kFile},
        {"the file rewritten in place", [](cfg::Store&, const std::string& p) { write_file(p, "x=1\n"); }, 1, 1,
         kFile},
        {"the file replaced", [](cfg::Store&, const std::string& p) {
             write_file(p + ".new", kFile);
             twtest::fs::rename(p + ".new", p);
         }, 1, 0, kFile},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        const std::string path = dir.path("agent.cfg");
        write_file(path, kFile);
        CountingFileSystem fs;
        cfg::Store store(fs);
        ASSERT_EQ(store.add_file_source(path), CONFIG_OK);
        ASSERT_EQ(fs.reads, 1);
        // The first save of an unchanged load neither reads nor writes.
        ASSERT_EQ(store.save(path, 0), CONFIG_OK) << c.name;
        EXPECT_EQ(fs.reads, 1) << c.name;
        EXPECT_EQ(fs.writes, 0) << c.name;
        c.between(store, path);
        fs.reads = fs.writes = 0;
        ASSERT_EQ(store.save(path, 0), CONFIG_OK) << c.name;
        EXPECT_EQ(fs.reads, c.reads) << c.name;
        EXPECT_EQ(fs.writes, c.writes) << c.name;
        EXPECT_EQ(read_file(path), c.after) << c.name;
        // Once saved, the store and the disk agree again: the next save costs nothing.
        fs.reads = fs.writes = 0;
        ASSERT_EQ(store.save(path, 0), CONFIG_OK) << c.name;
        EXPECT_EQ(fs.reads + fs.writes, 0) << c.name;
    }
}

TEST(SaveTracking, ANewFileIsWrittenOnceThenLeftAlone) {
    ScratchDir dir;
    const std::string path = dir.path("new.cfg");
    CountingFileSystem fs;
    cfg::Store store(fs);
    ASSERT_EQ(store.add_new_file_source(path), CONFIG_OK);
    ASSERT_EQ(store.set(path, "A", "k", "v"), CONFIG_OK);
    ASSERT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.writes, 1);
    ASSERT_EQ(store.save(path, 0), CONFIG_OK);
    EXPECT_EQ(fs.writes, 1);
    EXPECT_EQ(fs.reads, 1);  // the comparison before the first write found no file
}

// Every way a value can end, read through find() (which terminates it in place) and then
// saved: the bytes after each value come back as they were.
TEST(DocumentValues, ReadingValuesChangesNoByteOfTheFile) {
    static const char kBytes[] =
        "[A]\n"
        "lf=1\n"
        "crlf=2\r\n"
        "blank=3 \n"
        "tab=4\t\r\n"
        "both=5 \t \n"
        "empty=\n"
        "empty_blank=  \n"
        "nul=a\0b \n"
        "inner=a b\n"
        "cr_inside=a\rb\n"
        "last=6\r";
    const std::string file(kBytes, sizeof kBytes - 1);
    const struct {
        const char* key;
        std::string value;
    } cases[] = {
        {"lf", "1"},       {"crlf", "2"},   {"blank", "3"},        {"tab", "4"},
        {"both", "5"},     {"empty", ""},   {"empty_blank", ""},   {"nul", "a"},
        {"inner", "a b"},  {"cr_inside", "a\rb"}, {"last", "6\r"},
    };
    cfg::Document doc("\n");
    ASSERT_EQ(doc.load(file, "\n"), CONFIG_OK);
    for (const auto& c : cases) {
        const char* got = doc.find(c.key);
        ASSERT_NE(got, nullptr) << c.key;
        EXPECT_EQ(std::string(got), c.value) << c.key;
        EXPECT_EQ(doc.find(c.key), got) << c.key;  // the same text, not a new copy
    }
    EXPECT_EQ(doc.serialize(), file);
    // Enumeration sees whole values, NUL bytes included, after the lookups as before them.
    std::string nul;
    doc.for_each_entry([&](std::string_view, std::string_view k, std::string_view v) {
        if (k == "nul") nul = std::string(v);
        return 0;
    });
    EXPECT_EQ(nul, std::string("a\0b", 3));
    // An edit after a lookup keeps the spacing around the value.
    ASSERT_EQ(doc.set("A", "both", "x"), CONFIG_OK);
    ASSERT_EQ(doc.set("A", "tab", "y"), CONFIG_OK);
    ASSERT_EQ(doc.set("A", "crlf", "z"), CONFIG_OK);
    std::string want = file;
    want.replace(want.find("both=5"), 6, "both=x");
    want.replace(want.find("tab=4"), 5, "tab=y");
    want.replace(want.find("crlf=2"), 6, "crlf=z");
    EXPECT_EQ(doc.serialize(), want);
    EXPECT_STREQ(doc.find("both"), "x");
    EXPECT_STREQ(doc.find("blank"), "3");
}

// A last line ending in a lone CR holds that CR in its text; a line added after it must not
// turn the CR into part of a line ending.
TEST(DocumentLoneCr, ALineAddedAfterALastLoneCrKeepsItsValue) {
    const struct {
        const char* native;
        const char* before;
        const char* section;
        const char* after;
        const char* key;  // whose value must read back unchanged
        const char* value;
    } cases[] = {
        {"\n", "[A]\nk=1\r", "A", "[A]\nk=1\r\r\nnew=v\n", "k", "1\r"},
        {"\n", "[A]\nk=1\r", "B", "[A]\nk=1\r\r\n[B]\nnew=v\n", "k", "1\r"},
        {"\n", "[A]\r\nk=1\r", "A", "[A]\r\nk=1\r\r\nnew=v\r\n", "k", "1\r"},
        {"\r\n", "k=1\r", "A", "k=1\r\r\n[A]\r\nnew=v\r\n", "k", "1\r"},
        {"\n", "[A]\nk=1\r\r", "A", "[A]\nk=1\r\r\r\nnew=v\n", "k", "1\r\r"},
        // A comment or a line of no meaning keeps its text the same way.
        {"\n", "[A]\nk=1\n; note\r", "B", "[A]\nk=1\n; note\r\r\n[B]\nnew=v\n", "k", "1"},
        // Lone CRs elsewhere are no line endings and change nothing.
        {"\n", "[A]\nk=1\rx\n", "A", "[A]\nk=1\rx\nnew=v\n", "k", "1\rx"},
    };
    for (const auto& c : cases) {
        cfg::Document doc(c.native);
        ASSERT_EQ(doc.load(c.before, c.native), CONFIG_OK);
        ASSERT_EQ(doc.set(c.section, "new", "v"), CONFIG_OK) << c.before;
        const std::string out = doc.serialize();
        EXPECT_EQ(out, c.after) << c.before;
        cfg::Document again(c.native);
        ASSERT_EQ(again.load(out, c.native), CONFIG_OK);
        const char* v = again.find(c.key);
        ASSERT_NE(v, nullptr) << c.before;
        EXPECT_STREQ(v, c.value) << c.before;
        EXPECT_STREQ(again.find("new"), "v") << c.before;
    }
}

}  // namespace
