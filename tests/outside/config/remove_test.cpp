// config_remove_attrib: which lines go, that every other byte stays, and that the store
// works on normally after a removal.
#include <gtest/gtest.h>

#include <string>

#include "config.h"
#include "document.h"
#include "files.h"

namespace {

using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

TEST(RemoveAttrib, RemovesEveryEntryOfTheKeyInTheSectionAndNothingElse) {
    const struct {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        int32_t removed;
        std::string after;
    } cases[] = {
        {"one entry", "[A]\nk=1\nj=2\n", "A", "k", 1, "[A]\nj=2\n"},
        {"case of both names", "[Agent]\nTimeOut=1\nj=2\n", "aGENT", "timeout", 1, "[Agent]\nj=2\n"},
        {"every duplicate", "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nK = 4\n", "A", "k", 3, "[A]\n[B]\nk=3\n[a]\n"},
        {"other sections keep it", "[B]\nk=1\n[A]\nk=2\n", "A", "k", 1, "[B]\nk=1\n[A]\n"},
        {"crlf line ending goes too", "[A]\r\nk=1\r\nj=2\r\n", "A", "k", 1, "[A]\r\nj=2\r\n"},
        {"mixed endings", "[A]\r\nk=1\nj=2\r\n", "A", "k", 1, "[A]\r\nj=2\r\n"},
        {"last line without break", "[A]\nj=2\nk=1", "A", "k", 1, "[A]\nj=2\n"},
        {"comments and spacing stay", "; c\n[A]\n  k  =  1  \n\n# k=2\nj = 3\n", "A", "k", 1,
         "; c\n[A]\n\n# k=2\nj = 3\n"},
        {"lines of no meaning stay", "[A]\nk\nk=1\n=x\n", "A", "k", 1, "[A]\nk\n=x\n"},
        {"before any header", "k=0\n[A]\nk=1\n", "", "k", 1, "[A]\nk=1\n"},
        {"byte-order mark stays", "\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", 1, "\xEF\xBB\xBF[A]\r\n"},
        {"nul bytes stay", std::string("[A]\nv=a\0b\nk=1\n", 14), "A", "k", 1, std::string("[A]\nv=a\0b\n", 10)},
        {"no such key", "[A]\nk=1\n", "A", "x", 0, "[A]\nk=1\n"},
        {"no such section", "[A]\nk=1\n", "B", "k", 0, "[A]\nk=1\n"},
        {"empty file", "", "A", "k", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string path = dir.path("r.cfg");
        write_file(path, c.before);
        const config_handle cfg = new_config();
        ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
        EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), c.section, c.key), c.removed);
        EXPECT_EQ(read_file(path), c.before);  // in memory only until the save
        EXPECT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
        EXPECT_EQ(read_file(path), c.after);
        EXPECT_EQ(config_get_attrib_val(cfg, path.c_str(), c.section, c.key), 0);
        delete_config(cfg);
    }
}

TEST(RemoveAttrib, LookupsAndChangesAfterARemovalSeeWhatRemains) {
    cfg::Document doc("\n");
    ASSERT_EQ(doc.load("[A]\nk=1\nj=2\n[B]\nk=3\n", "\n"), CONFIG_OK);
    EXPECT_EQ(doc.remove("A", "k"), 1u);
    ASSERT_NE(doc.find("k"), nullptr);
    EXPECT_STREQ(doc.find("k"), "3");  // the next entry in file order
    EXPECT_FALSE(doc.contains("A", "k"));
    EXPECT_TRUE(doc.modified());
    ASSERT_EQ(doc.set("A", "k", "new"), CONFIG_OK);  // back after the last entry of [A]
    ASSERT_EQ(doc.set("A", "j", "22"), CONFIG_OK);
    EXPECT_EQ(doc.serialize(), "[A]\nj=22\nk=new\n[B]\nk=3\n");
    EXPECT_EQ(doc.remove("B", "k"), 1u);
    EXPECT_STREQ(doc.find("k"), "new");
    EXPECT_EQ(doc.remove("B", "k"), 0u);
}

TEST(RemoveAttrib, BadHandlesPathsAndArgumentsGiveCodes) {
    ScratchDir dir;
    const std::string path = dir.path("r.cfg");
    write_file(path, "[A]\nk=1\n");
    const config_handle cfg = new_config();
    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), "A", "k"), CONFIG_E_NO_SOURCE);
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    const std::string other = dir.path("other.cfg");
    const struct {
        config_handle cfg;
        const char* path;
        const char* section;
        const char* key;
        int32_t rc;
    } cases[] = {
        {0, path.c_str(), "A", "k", CONFIG_E_HANDLE},
        {cfg + 1000, path.c_str(), "A", "k", CONFIG_E_HANDLE},
        {cfg, other.c_str(), "A", "k", CONFIG_E_PATH},
        {cfg, nullptr, "A", "k", CONFIG_E_ARGUMENT},
        {cfg, path.c_str(), nullptr, "k", CONFIG_E_ARGUMENT},
        {cfg, path.c_str(), "A", nullptr, CONFIG_E_ARGUMENT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(config_remove_attrib(c.cfg, c.path, c.section, c.key), c.rc);
    }
    EXPECT_EQ(config_get_attrib_val(cfg, path.c_str(), "A", "k"), 1);  // none of them removed it
    delete_config(cfg);
    EXPECT_EQ(config_remove_attrib(cfg, path.c_str(), "A", "k"), CONFIG_E_HANDLE);
}

}  // namespace
