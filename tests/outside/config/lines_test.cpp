// SPDX-License-Identifier: Apache-2.0
// config_enum_lines and config_set_text: the store's account of each line, and whole-file
// replacement through the ordinary save.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "tarnwick/config.h"

namespace {

using namespace std::string_literals;
using twtest::ScratchDir;
using twtest::read_file;
using twtest::write_file;

struct Seen {
    uint32_t number;
    int32_t kind;
    std::string text, section, key, value;
    bool operator==(const Seen& o) const {
        return number == o.number && kind == o.kind && text == o.text && section == o.section && key == o.key &&
               value == o.value;
    }
};

void PrintTo(const Seen& s, std::ostream* os) {
    *os << s.number << ":" << s.kind << " [" << s.section << "] " << s.key << "=" << s.value << " |" << s.text << "|";
}

std::string str(const config_text& t) { return std::string(t.data, t.size); }

int32_t CONFIG_CALL collect(void* ctx, const config_line* line) {
    EXPECT_EQ(line->text.data[line->text.size], '\0');
    static_cast<std::vector<Seen>*>(ctx)->push_back(
        {line->number, line->kind, str(line->text), str(line->section), str(line->key), str(line->value)});
    return CONFIG_OK;
}

std::vector<Seen> lines_of(config_handle cfg, const std::string& path) {
    std::vector<Seen> seen;
    EXPECT_EQ(config_enum_lines(cfg, path.c_str(), collect, &seen), CONFIG_OK);
    return seen;
}

constexpr int32_t C = CONFIG_LINE_COMMENT, S = CONFIG_LINE_SECTION, E = CONFIG_LINE_ENTRY, O = CONFIG_LINE_OTHER;

TEST(EnumLines, EveryLineWithItsNumberKindAndSection) {
    const std::string file = "\xEF\xBB\xBF"s +
                             "top=1\r\n"
                             "; comment\n"
                             "\n"
                             "  [ Agent ] trailing\n"
                             "  Key  =  a value ; not a comment  \n"
                             "no equals sign\n"
                             "[broken\n"
                             "=no key\n"
                             "   \t\n"
                             "# hash\n"
                             "[B]\n"
                             "v=a\0b\n"s +
                             "last=x\r";
    const std::vector<Seen> expected = {
        {1, E, "top=1", "", "top", "1"},
        {2, C, "; comment", "", "", ""},
        {3, C, "", "", "", ""},
        {4, S, "  [ Agent ] trailing", "Agent", "", ""},
        {5, E, "  Key  =  a value ; not a comment  ", "Agent", "Key", "a value ; not a comment"},
        {6, O, "no equals sign", "Agent", "", ""},
        {7, O, "[broken", "Agent", "", ""},
        {8, O, "=no key", "Agent", "", ""},
        {9, C, "   \t", "Agent", "", ""},
        {10, C, "# hash", "Agent", "", ""},
        {11, S, "[B]", "B", "", ""},
        {12, E, "v=a\0b"s, "B", "v", "a\0b"s},
        {13, E, "last=x\r", "B", "last", "x\r"},  // a lone CR is no line ending
    };
    ScratchDir dir;
    const std::string path = dir.path("l.cfg");
    write_file(path, file);
    const config_handle cfg = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    EXPECT_EQ(lines_of(cfg, path), expected);

    // Unsaved changes count, with the numbers the saved file will have.
    ASSERT_EQ(config_set_attrib(cfg, path.c_str(), "Agent", "New", "n"), CONFIG_OK);
    const std::vector<Seen> changed = lines_of(cfg, path);
    ASSERT_EQ(changed.size(), expected.size() + 1);
    EXPECT_EQ(changed[5], (Seen{6, E, "New=n", "Agent", "New", "n"}));
    EXPECT_EQ(changed[6].number, 7u);
    EXPECT_EQ(changed[6].text, "no equals sign");

    // A removed line is gone and the lines after it move up; an edited value reads as saved.
    ASSERT_EQ(config_remove_attrib(cfg, path.c_str(), "", "top"), 1);
    ASSERT_EQ(config_set_attrib(cfg, path.c_str(), "B", "last", "y"), CONFIG_OK);
    const std::vector<Seen> fewer = lines_of(cfg, path);
    ASSERT_EQ(fewer.size(), expected.size());
    EXPECT_EQ(fewer[0], (Seen{1, C, "; comment", "", "", ""}));
    EXPECT_EQ(fewer.back(), (Seen{13, E, "last=y", "B", "last", "y"}));  // the CR was part of the value
    delete_config(cfg);
}

TEST(EnumLines, StopsWhenAskedAndRefusesMisuse) {
    ScratchDir dir;
    const std::string path = dir.path("l.cfg");
    write_file(path, "[A]\nk=1\nj=2\n");
    const config_handle cfg = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    int calls = 0;
    const auto stop_at_two = [](void* ctx, const config_line*) -> int32_t { return ++*static_cast<int*>(ctx) == 2 ? 7 : 0; };
    EXPECT_EQ(config_enum_lines(cfg, path.c_str(), stop_at_two, &calls), 7);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(config_enum_lines(0, path.c_str(), collect, nullptr), CONFIG_E_HANDLE);
    EXPECT_EQ(config_enum_lines(cfg, nullptr, collect, nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_enum_lines(cfg, path.c_str(), nullptr, nullptr), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_enum_lines(cfg, dir.path("x.cfg").c_str(), collect, nullptr), CONFIG_E_PATH);
    delete_config(cfg);
}

TEST(SetText, ReplacesTheWholeFileThroughTheSave) {
    ScratchDir dir;
    const std::string path = dir.path("t.cfg");
    write_file(path, "[A]\nk=1\n");
    const config_handle cfg = new_config();
    ASSERT_EQ(config_add_ini_file_source(cfg, path.c_str()), CONFIG_OK);
    const std::string text = "; edited\r\n[B]\r\nj = 2\r\nodd line\0"s;
    ASSERT_EQ(config_set_text(cfg, path.c_str(), text.data(), static_cast<uint32_t>(text.size())), CONFIG_OK);
    EXPECT_EQ(read_file(path), "[A]\nk=1\n");  // in memory until the save
    EXPECT_EQ(config_get_attrib(cfg, "k"), nullptr);
    EXPECT_STREQ(config_get_attrib(cfg, "j"), "2");
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    EXPECT_EQ(read_file(path), text);
    // New lines take the replaced text's line ending.
    ASSERT_EQ(config_set_attrib(cfg, path.c_str(), "B", "n", "3"), CONFIG_OK);
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    EXPECT_EQ(read_file(path), "; edited\r\n[B]\r\nj = 2\r\nn=3\r\nodd line\0"s);

    ASSERT_EQ(config_set_text(cfg, path.c_str(), nullptr, 0), CONFIG_OK);
    ASSERT_EQ(config_save(cfg, path.c_str(), 0), CONFIG_OK);
    EXPECT_EQ(read_file(path), "");

    EXPECT_EQ(config_set_text(cfg, path.c_str(), nullptr, 1), CONFIG_E_ARGUMENT);
    EXPECT_EQ(config_set_text(cfg, dir.path("x.cfg").c_str(), "a", 1), CONFIG_E_PATH);
    EXPECT_EQ(config_set_text(0, path.c_str(), "a", 1), CONFIG_E_HANDLE);
    EXPECT_EQ(config_set_text(cfg, nullptr, "a", 1), CONFIG_E_ARGUMENT);
    delete_config(cfg);
}

}  // namespace
