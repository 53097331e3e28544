// SPDX-License-Identifier: Apache-2.0
// Removing keys: which lines go, that every other byte stays, and the C interface's codes.
#include <gtest/gtest.h>

#include <string>

#include "document.h"
#include "files.h"
#include "tarnwick/config.h"

namespace {

TEST(DocumentRemove, TakesEveryEntryOfTheKeyInTheSectionAndNothingElse) {
    const struct {
        std::string before;
        const char* section;
        const char* key;
        uint32_t removed;
        std::string after;
    } cases[] = {
        {"[A]\nk=1\nj=2\n", "A", "k", 1, "[A]\nj=2\n"},
        // Duplicates, and every occurrence of the section, whatever the case of either name.
        {"[A]\nk=1\nK = 2\n[B]\nk=3\n[a]\n  k=4\n", "a", "K", 3, "[A]\n[B]\nk=3\n[a]\n"},
        {"[B]\nk=1\n[A]\nk=2\n", "A", "k", 1, "[B]\nk=1\n[A]\n"},
        // Comments, blank lines, lines of no meaning and spacing around the removed line stay.
        {"; c\n[A]\n\n  k  =  1  \n# k=2\ntext\n=x\n\tk\t=\n", "A", "k", 2, "; c\n[A]\n\n# k=2\ntext\n=x\n"},
        {std::string("[A]\nv=a\0b\nk=1\n", 14), "A", "k", 1, std::string("[A]\nv=a\0b\n", 10)},
        // Each removed line goes with its own line ending, whatever the others use.
        {"[A]\r\nk=1\r\nj=2\nk=3\n", "A", "k", 2, "[A]\r\nj=2\n"},
        {"[A]\r\nk=1\r\nj=2\r\n", "A", "k", 1, "[A]\r\nj=2\r\n"},
        // The last line without a line break; what comes before it keeps its own.
        {"[A]\nj=2\nk=1", "A", "k", 1, "[A]\nj=2\n"},
        {"[A]\r\nj=2\r\nk=1", "A", "k", 1, "[A]\r\nj=2\r\n"},
        {"[A]\nk=1", "A", "k", 1, "[A]\n"},
        // Lone CRs belong to the line's text: the whole line goes up to its LF.
        {"[A]\nk=1\rj=2\nx=y\n", "A", "k", 1, "[A]\nx=y\n"},
        // A byte-order mark and a first line.
        {"\xEF\xBB\xBFk=0\n[A]\nk=1\n", "A", "k", 1, "\xEF\xBB\xBFk=0\n[A]\n"},
        // Entries before the first header are in no section; "" names them.
        {"k=0\n[A]\nj=1\n", "A", "k", 0, "k=0\n[A]\nj=1\n"},
        {"\xEF\xBB\xBFk=0\nj=1\nK=2\n[A]\nk=1\n", "", "k", 2, "\xEF\xBB\xBFj=1\n[A]\nk=1\n"},
        // Absent keys and sections, and names no entry can have, remove nothing.
        {"[A]\nk=1\n", "A", "missing", 0, "[A]\nk=1\n"},
        {"[A]\nk=1\n", "B", "k", 0, "[A]\nk=1\n"},
        {"[A]\nk=1\n", "", "k", 0, "[A]\nk=1\n"},
        {"[A]\nk=1\n", "A", " k", 0, "[A]\nk=1\n"},
        {"[A]\nk=1\n", "A]", "k", 0, "[A]\nk=1\n"},
        {"k=0\n", "", "", 0, "k=0\n"},
        {"", "A", "k", 0, ""},
    };
    for (const auto& c : cases) {
        cfg::Document doc("\n");
        ASSERT_EQ(doc.load(c.before, "\n"), CONFIG_OK);
        EXPECT_EQ(doc.remove(c.section, c.key), c.removed) << c.before;
        EXPECT_EQ(doc.serialize(), c.after) << c.before;
        EXPECT_EQ(doc.modified(), c.removed != 0) << c.before;
    }
}

TEST(DocumentRemove, LookupsAndNewKeysFollowTheRemainingLines) {
    cfg::Document doc("\n");
    ASSERT_EQ(doc.load("[A]\nk=1\nj=2\n[B]\nk=3\n[A]\nk=4\n", "\n"), CONFIG_OK);
    ASSERT_EQ(doc.remove("A", "k"), 2u);
    EXPECT_FALSE(doc.contains("A", "k"));
    EXPECT_TRUE(doc.contains("B", "k"));
    // The first remaining entry of the key now answers a lookup by key alone.
    EXPECT_STREQ(doc.find("k"), "3");
    // Removing it again finds nothing.
    EXPECT_EQ(doc.remove("a", "K"), 0u);
    // A new key goes after the last remaining entry of the first occurrence.
    ASSERT_EQ(doc.set("A", "k", "5"), CONFIG_OK);
    ASSERT_EQ(doc.remove("A", "j"), 1u);
    ASSERT_EQ(doc.set("A", "n", "6"), CONFIG_OK);
    EXPECT_EQ(doc.serialize(), "[A]\nk=5\nn=6\n[B]\nk=3\n[A]\n");
    EXPECT_STREQ(doc.find("K"), "5");
    // Lines added since the load go as well, new sections keep their header.
    ASSERT_EQ(doc.set("C", "x", "1"), CONFIG_OK);
    ASSERT_EQ(doc.set("C", "y", "2"), CONFIG_OK);
    ASSERT_EQ(doc.remove("A", "n"), 1u);
    ASSERT_EQ(doc.remove("c", "X"), 1u);
    ASSERT_EQ(doc.set("C", "z", "3"), CONFIG_OK);
    EXPECT_EQ(doc.serialize(), "[A]\nk=5\n[B]\nk=3\n[A]\n[C]\ny=2\nz=3\n");
}

TEST(DocumentRemove, EntriesBeforeTheFirstHeaderGoWithTheEmptySectionOnly) {
    cfg::Document doc("\n");
    ASSERT_EQ(doc.load("k=0\n[A]\nk=1\n", "\n"), CONFIG_OK);
    EXPECT_STREQ(doc.find("k"), "0");
    ASSERT_EQ(doc.remove("", "K"), 1u);
    EXPECT_STREQ(doc.find("k"), "1");
    EXPECT_TRUE(doc.contains("A", "k"));
    EXPECT_EQ(doc.remove("", "k"), 0u);
    ASSERT_EQ(doc.remove("A", "k"), 1u);
    EXPECT_EQ(doc.find("k"), nullptr);
    EXPECT_EQ(doc.serialize(), "[A]\n");
}

TEST(ApiRemove, CodesAndTheSavedFile) {
    twtest::ScratchDir dir;
    const std::string path = dir.path("a.cfg");
    const std::string bytes = "; keep\r\n[Agent]\r\nServerPassword = x\r\nTimeOut=20\r\n[agent]\r\nserverpassword=y";
    twtest::write_file(path, bytes);
    const config_handle cfg = new_config();
    const config_handle bare = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    const config_handle deleted = new_config();
    delete_config(deleted);

    EXPECT_EQ(config_remove_attrib(0, path.c_str(), "Agent", "k"), CONFIG_E_HANDLE);
    EXPECT_EQ(config_remove_attrib(deleted, path.c_str(), "Agent", "k"), CONFIG_E_HANDLE);
    EXPECT_EQ(config_remove_attrib(cfg, nullptr, "Agent", "k"), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), nullptr, "k"), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), "Agent", nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_remove_attrib(cfg, dir.path("other.cfg").c_str(), "Agent", "ServerPassword"), CONFIG_E_PATH);
    EXPECT_EQ(config_remove_attrib(bare, path.c_str(), "Agent", "ServerPassword"), CONFIG_E_NO_SOURCE);
    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), "Agent", "Absent"), 0);
    EXPECT_STREQ(config_get_attrib(cfg, "serverPASSWORD"), "x");

    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), "AGENT", "ServerPassword"), 2);
    EXPECT_EQ(config_get_attrib(cfg, "ServerPassword"), nullptr);
    // In memory only until the save.
    EXPECT_EQ(twtest::read_file(path), bytes);
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    EXPECT_EQ(twtest::read_file(path), "; keep\r\n[Agent]\r\nTimeOut=20\r\n[agent]\r\n");
    delete_config(cfg);
    delete_config(bare);
}

}  // namespace
