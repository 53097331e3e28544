// SPDX-License-Identifier: Apache-2.0
// The in-memory document: lossless round trips, lookups, refusals and where edits land.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "document.h"
#include "line_index.h"
#include "tarnwick/config.h"

namespace {

cfg::Document loaded(const std::string& bytes, const char* native = "\n") {
    cfg::Document doc(native);
    EXPECT_EQ(doc.load(bytes, native), CONFIG_OK);
    return doc;
}

std::string noise(unsigned seed, size_t size) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    // Biased towards the bytes the parser cares about.
    const char special[] = {'\r', '\n', '[', ']', '=', ';', '#', ' ', '\t', '\0', '\xEF', '\xBB', '\xBF'};
    for (char& c : out) {
        const unsigned r = rng();
        c = (r & 1) ? special[(r >> 1) % sizeof special] : static_cast<char>(r >> 8);
    }
    return out;
}

struct Fixture {
    const char* name;
    std::string bytes;
};

std::vector<Fixture> fixtures() {
    return {
        {"empty", ""},
        {"lf", "[Agent]\nServerMachine=host\nTimeOut=20\n"},
        {"crlf", "[Agent]\r\nServerMachine=host\r\nTimeOut=20\r\n"},
        {"mixed", "[A]\r\nk=1\nj=2\r\n\n[B]\nx=y\r\n"},
        {"bom", "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
        {"bom only", "\xEF\xBB\xBF"},
        {"comments", "; top\n# hash\n[A]\n  ; indented\nk=v\n#k=not a key\n"},
        {"blank lines", "\n\n[A]\n\n\nk=v\n\n"},
        {"spacing", "  [ A ]  \n\tk \t=  v  \n k2= v2\t\n"},
        {"duplicates", "[A]\nk=1\nk=2\n[a]\nk=3\n[B]\nK=4\n"},
        {"not key=value", "[A\njust text\n=novalue\n]\n[A]\nk=v\nstray ]\n"},
        {"no final newline", "[A]\nk=v"},
        {"no final newline crlf", "[A]\r\nk=v\r"},
        {"lone cr", "[A]\rk=v\r\nj=w\r\r\n"},
        {"nul bytes", std::string("[A]\nk=a\0b\n\0\n", 12)},
        {"preamble", "before=1\n[A]\nk=v\n"},
        {"long line", "[A]\nk=" + std::string(1 << 20, 'x') + "\n"},
        {"noise 1", noise(1, 5000)},
        {"noise 2", noise(2, 5000)},
        {"noise 3", noise(3, 70000)},
    };
}

TEST(DocumentRoundTrip, EveryFixtureSerializesToItsOwnBytes) {
    for (const Fixture& f : fixtures()) {
        cfg::Document doc = loaded(f.bytes);
        EXPECT_EQ(doc.serialize(), f.bytes) << f.name;
        EXPECT_FALSE(doc.modified()) << f.name;
    }
}

TEST(DocumentRoundTrip, EditsToNoiseKeepEveryOriginalByte) {
    for (unsigned seed = 10; seed < 20; ++seed) {
        const std::string bytes = noise(seed, 4000);
        cfg::Document doc = loaded(bytes);
        ASSERT_EQ(doc.set("Fresh Section", "fresh key", "fresh value"), CONFIG_OK);
        const std::string out = doc.serialize();
        ASSERT_EQ(out.compare(0, bytes.size(), bytes), 0) << seed;
        cfg::Document again = loaded(out);
        EXPECT_STREQ(again.find("FRESH KEY"), "fresh value") << seed;
        EXPECT_TRUE(again.contains("fresh section", "Fresh Key")) << seed;
    }
}

TEST(DocumentLookup, FindsByKeyAlone) {
    const char file[] =
        "top=t\n"
        "[A]\n"
        "; k=comment\n"
        "  Spaced  =   padded value \t\n"
        "pw=a;b#c\"d\"=e\n"
        "empty=\n"
        "dup=first\n"
        "dup=second\n"
        "[B]\n"
        "only_b=b\n"
        "Dup=third\n"
        "novalue\n"
        "a\rb=lone cr\n"
        "]x=bracket\n"
        "k#=hash\n"
        "Longer_Than_Two_Words=long\n"
        "nul=ab\0cd\n";
    cfg::Document doc = loaded(std::string(file, sizeof file - 1));
    const struct {
        const char* key;
        const char* value;  // nullptr: not found
    } cases[] = {
        {"top", "t"},          {"spaced", "padded value"}, {"SPACED", "padded value"},
        {"pw", "a;b#c\"d\"=e"}, {"empty", ""},              {"dup", "first"},
        {"DUP", "first"},      {"only_b", "b"},            {"k", nullptr},
        {"; k", nullptr},      {"novalue", nullptr},       {"A", nullptr},
        {"", nullptr},         {"nul", "ab"},  // a value holding NUL reads up to it
        {"A\rB", "lone cr"},   {"]x", "bracket"},          {"k#", "hash"},
        {"LONGER_than_TWO_words", "long"},                 {"Longer_Than_Two_Word", nullptr},
    };
    for (const auto& c : cases) {
        const char* got = doc.find(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(got, nullptr) << c.key;
        } else {
            ASSERT_NE(got, nullptr) << c.key;
            EXPECT_STREQ(got, c.value) << c.key;
        }
    }
}

TEST(DocumentLookup, ContainsIsPerSectionAndCountsDuplicateSections) {
    cfg::Document doc = loaded("top=1\n[Agent]\nName=x\n[Proxy]\nPort=1\n[agent]\nLate=y\n");
    const struct {
        const char* section;
        const char* key;
        bool present;
    } cases[] = {
        {"Agent", "Name", true},  {"AGENT", "name", true}, {"agent", "Late", true},
        {"Proxy", "Name", false}, {"Proxy", "port", true}, {"Agent", "Port", false},
        {"", "top", false},       {"Agent", "", false},    {"Missing", "Name", false},
    };
    for (const auto& c : cases) EXPECT_EQ(doc.contains(c.section, c.key), c.present) << c.section << "/" << c.key;
}

TEST(DocumentLookup, ReturnedValuesStayValidAcrossLookups) {
    cfg::Document doc = loaded("[A]\nlong=" + std::string(100, 'L') + "\nshort=s\n");
    const char* first = doc.find("long");
    const char* second = doc.find("short");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(doc.set("A", "other", "o"), CONFIG_OK);
    EXPECT_EQ(std::string(first), std::string(100, 'L'));
    EXPECT_STREQ(second, "s");
    EXPECT_EQ(doc.find("long"), first);
}

TEST(DocumentSet, RefusesWhatWouldNotReadBackAndChangesNothing) {
    const struct {
        const char* section;
        const char* key;
        const char* value;
        int32_t code;
    } cases[] = {
        {"", "k", "v", CONFIG_E_SECTION},     {" S", "k", "v", CONFIG_E_SECTION},  {"S\t", "k", "v", CONFIG_E_SECTION},
        {"S]", "k", "v", CONFIG_E_SECTION},   {"a]b", "k", "v", CONFIG_E_SECTION}, {"S\n", "k", "v", CONFIG_E_SECTION},
        {"S", "", "v", CONFIG_E_KEY},        {"S", " k", "v", CONFIG_E_KEY},
        {"S", "k ", "v", CONFIG_E_KEY},       {"S", "a=b", "v", CONFIG_E_KEY},     {"S", "=", "v", CONFIG_E_KEY},
        {"S", "[k", "v", CONFIG_E_KEY},       {"S", ";k", "v", CONFIG_E_KEY},      {"S", "#k", "v", CONFIG_E_KEY},
        {"S", "k\n", "v", CONFIG_E_KEY},      {"S", "k", " v", CONFIG_E_VALUE},
        {"S", "k", "v\t", CONFIG_E_VALUE},    {"S", "k", " ", CONFIG_E_VALUE},     {"S", "k", "a\nb", CONFIG_E_VALUE},
        {"S", "k", "a\r", CONFIG_E_VALUE},    {"S", "k", "\n[X]", CONFIG_E_VALUE},
    };
    const std::string file = "[S]\nk=old\n";
    for (const auto& c : cases) {
        cfg::Document doc = loaded(file);
        EXPECT_EQ(doc.set(c.section, c.key, c.value), c.code) << c.section << "/" << c.key << "/" << c.value;
        EXPECT_EQ(doc.serialize(), file);
        EXPECT_FALSE(doc.modified());
    }
}

TEST(DocumentSet, AcceptedNamesAndValuesReadBackExactly) {
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"S", "k", ""},         {"S", "k", "a;b"},         {"S", "k", "#x"},      {"S", "k", "\"quoted\""},
        {"S", "k", "=="},       {"S", "k", "[X]"},         {"S", "k", "in  side"}, {"a[b", "k]", "v"},
        {"s=t", "k;", "v"},     {"Sp ace", "k ey", "v a"}, {"S", "k\xC3\xA9", "\xFF\xFE"},
        {"S\rT", "k\rx", "a\rb"},  // a CR no LF follows is an ordinary byte
    };
    for (const auto& c : cases) {
        cfg::Document doc = loaded("[S]\nk=old\n");
        ASSERT_EQ(doc.set(c.section, c.key, c.value), CONFIG_OK) << c.section << "/" << c.key;
        cfg::Document again = loaded(doc.serialize());
        EXPECT_TRUE(again.contains(c.section, c.key)) << c.section << "/" << c.key;
        std::string got;
        again.for_each_entry([&](std::string_view s, std::string_view k, std::string_view v) {
            if (s == c.section && k == c.key) got = std::string(v);
            return 0;
        });
        EXPECT_EQ(got, c.value) << c.section << "/" << c.key;
    }
}

TEST(DocumentSet, ChangesOnlyTheValuePartOfItsLine) {
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"[A]\r\nk=old\r\nj=1\r\n", "[A]\r\nk=new\r\nj=1\r\n"},
        {"[A]\n  K  =  old  \n", "[A]\n  K  =  new  \n"},
        {"[A]\nk=\n", "[A]\nk=new\n"},
        {"[A]\nk = a;b # c\n", "[A]\nk = new\n"},
        {"[A]\nk=old", "[A]\nk=new"},
        {"[A]\nk=1\nk=2\n[a]\nk=3\n", "[A]\nk=new\nk=2\n[a]\nk=3\n"},
        {"[B]\nx=1\n[A]\nj=1\n[a]\nk=old\n", "[B]\nx=1\n[A]\nj=1\n[a]\nk=new\n"},
        {"\xEF\xBB\xBF[A]\nk=old\n", "\xEF\xBB\xBF[A]\nk=new\n"},
    };
    for (const auto& c : cases) {
        cfg::Document doc = loaded(c.before);
        ASSERT_EQ(doc.set("a", "K", "new"), CONFIG_OK) << c.before;
        EXPECT_EQ(doc.serialize(), c.after) << c.before;
    }
}

TEST(DocumentSet, PlacesNewKeysAndSections) {
    const struct {
        const char* native;
        const char* before;
        const char* section;
        const char* after;
    } cases[] = {
        // After the last key of the section, before the comments and blank lines that follow it.
        {"\n", "[A]\nk=1\n; about B\n\n[B]\nx=1\n", "A", "[A]\nk=1\nnew=v\n; about B\n\n[B]\nx=1\n"},
        {"\n", "[A]\r\nk=1\r\n\r\n[B]\r\n", "A", "[A]\r\nk=1\r\nnew=v\r\n\r\n[B]\r\n"},
        // A section without keys: right after its header.
        {"\n", "[A]\n; note\n[B]\n", "a", "[A]\nnew=v\n; note\n[B]\n"},
        // Duplicate sections: the first occurrence gets the key.
        {"\n", "[A]\nk=1\n[B]\n[A]\nj=2\n", "A", "[A]\nk=1\nnew=v\n[B]\n[A]\nj=2\n"},
        // Lines of no meaning between keys do not end the section.
        {"\n", "[A]\nk=1\ntext\nj=2\n\n", "A", "[A]\nk=1\ntext\nj=2\nnew=v\n\n"},
        // The last line without a line break gets one.
        {"\n", "[A]\nk=1", "A", "[A]\nk=1\nnew=v\n"},
        {"\n", "[A]\r\nk=1", "A", "[A]\r\nk=1\r\nnew=v\r\n"},
        {"\n", "[A]", "A", "[A]\nnew=v\n"},
        // New sections at the end, in the file's style.
        {"\n", "[A]\r\nk=1\r\n", "B", "[A]\r\nk=1\r\n[B]\r\nnew=v\r\n"},
        {"\r\n", "[A]\nk=1\n", "B", "[A]\nk=1\n[B]\nnew=v\n"},
        {"\n", "[A]\nk=1", "B", "[A]\nk=1\n[B]\nnew=v\n"},
        {"\n", "[A]\nk=1\n\n; trailer\n", "B", "[A]\nk=1\n\n; trailer\n[B]\nnew=v\n"},
        // The first line ending decides a mixed file's style.
        {"\n", "[A]\r\nk=1\n", "B", "[A]\r\nk=1\n[B]\r\nnew=v\r\n"},
        // No line ending yet: the native one.
        {"\n", "", "B", "[B]\nnew=v\n"},
        {"\r\n", "", "B", "[B]\r\nnew=v\r\n"},
        {"\r\n", "; one line", "B", "; one line\r\n[B]\r\nnew=v\r\n"},
        {"\n", "\xEF\xBB\xBF", "B", "\xEF\xBB\xBF[B]\nnew=v\n"},
        // Keys before any header are in no section.
        {"\n", "new=0\n", "B", "new=0\n[B]\nnew=v\n"},
    };
    for (const auto& c : cases) {
        cfg::Document doc = loaded(c.before, c.native);
        ASSERT_EQ(doc.set(c.section, "new", "v"), CONFIG_OK) << c.before;
        EXPECT_EQ(doc.serialize(), c.after) << c.before;
    }
}

TEST(DocumentSet, KeepsTheSpellingAndFindsNewKeysInFileOrder) {
    cfg::Document doc = loaded("[First]\na=1\n[Second]\nShared=late\n");
    ASSERT_EQ(doc.set("FIRST", "SHARED", "early"), CONFIG_OK);
    ASSERT_EQ(doc.set("third", "Shared", "last"), CONFIG_OK);
    // The key added to the earlier section now comes first in the file.
    EXPECT_STREQ(doc.find("shared"), "early");
    EXPECT_EQ(doc.serialize(), "[First]\na=1\nSHARED=early\n[Second]\nShared=late\n[third]\nShared=last\n");
    ASSERT_EQ(doc.set("First", "shared", "changed"), CONFIG_OK);
    EXPECT_STREQ(doc.find("Shared"), "changed");
}

TEST(DocumentSet, ManyKeysStayFindable) {
    std::string file;
    for (int s = 0; s < 100; ++s) {
        file += "[Section" + std::to_string(s) + "]\n";
        for (int k = 0; k < 100; ++k) file += "key" + std::to_string(s) + "_" + std::to_string(k) + "=" + std::to_string(k) + "\n";
    }
    cfg::Document doc = loaded(file);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(doc.set("Section5", "added" + std::to_string(i), "x"), CONFIG_OK);
    for (int s = 0; s < 100; s += 7) {
        for (int k = 0; k < 100; k += 3) {
            const std::string key = "KEY" + std::to_string(s) + "_" + std::to_string(k);
            ASSERT_TRUE(doc.contains("section" + std::to_string(s), key));
            ASSERT_FALSE(doc.contains("section" + std::to_string(s + 1), key));
            ASSERT_STREQ(doc.find(key), std::to_string(k).c_str());
        }
    }
    for (int i = 0; i < 2000; i += 99) EXPECT_TRUE(doc.contains("section5", "ADDED" + std::to_string(i)));
}

TEST(DocumentLookup, ALargeFileStaysLossless) {
    std::string file;
    for (int s = 0; file.size() < (size_t{6} << 20); ++s) {
        file += "; group " + std::to_string(s) + "\r\n[Group_" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 50; ++k) file += "Key_" + std::to_string(s * 50 + k) + " = value " + std::to_string(k) + " \r\n";
    }
    const int keys = static_cast<int>(file.size() / 30);
    cfg::Document doc = loaded(file, "\r\n");
    int found = 0;
    for (int i = 0; i < keys; i += 7) {
        const char* v = doc.find("key_" + std::to_string(i));
        if (v == nullptr) continue;
        ++found;
        ASSERT_STREQ(v, ("value " + std::to_string(i % 50)).c_str()) << i;
    }
    EXPECT_GT(found, keys / 8);
    // Every NUL written after a value handed out is put back.
    EXPECT_EQ(doc.serialize(), file);
    ASSERT_EQ(doc.set("Group_3", "Key_150", "changed"), CONFIG_OK);
    ASSERT_EQ(doc.set("Group_3", "added", "new"), CONFIG_OK);
    EXPECT_STREQ(doc.find("KEY_150"), "changed");
    EXPECT_STREQ(doc.find("Added"), "new");
    EXPECT_EQ(doc.serialize().size(), file.size() - std::strlen("value 0") + std::strlen("changed") +
                                          std::strlen("added=new\r\n"));
}

// A value handed out once is answered from its line alone afterwards; every change to the
// key's entries must end that. After each step, every key reads as it does in a document
// loaded afresh from what a save would write.
TEST(DocumentLookup, RepeatedLookupsFollowEveryChangeOfTheirKey) {
    struct Step {
        char op;  // 's' set, 'r' remove
        const char* section;
        const char* key;
        const char* value;
    };
    const struct {
        const char* name;
        const char* file;
        std::vector<Step> steps;
    } cases[] = {
        {"edits", "[A]\nk=1\nj = 2 \n[B]\nx=3\n",
         {{'s', "A", "k", "10"}, {'s', "A", "j", ""}, {'s', "A", "K", "11"}}},
        {"entries added after", "[A]\nk=1\n[B]\n", {{'s', "B", "k", "2"}, {'r', "A", "k", ""}, {'s', "B", "k", "3"}}},
        {"an entry added before", "[A]\n[B]\nk=b\n", {{'s', "A", "k", "a"}, {'r', "a", "K", ""}}},
        {"removed and set again", "[A]\nk=1\n[B]\nx=3\n",
         {{'r', "A", "k", ""}, {'s', "A", "k", "4"}, {'r', "B", "x", ""}, {'s', "C", "x", "5"}}},
        {"duplicates thinned", "[A]\nk=1\n[B]\nk=2\n[A]\nk=3\n",
         {{'r', "A", "k", ""}, {'s', "B", "k", "6"}, {'s', "D", "k", "7"}}},
        {"preamble", "k=0\n[A]\nk=1\n", {{'r', "", "k", ""}, {'s', "A", "k", "8"}}},
    };
    const char* keys[] = {"k", "K", "j", "x"};
    for (const auto& c : cases) {
        cfg::Document doc = loaded(c.file);
        const auto check = [&](const std::string& when) {
            cfg::Document fresh = loaded(doc.serialize());
            for (const char* key : keys) {
                const char* got = doc.find(key);
                const char* want = fresh.find(key);
                if (want == nullptr) {
                    EXPECT_EQ(got, nullptr) << c.name << ", " << when << ": " << key;
                } else {
                    ASSERT_NE(got, nullptr) << c.name << ", " << when << ": " << key;
                    EXPECT_STREQ(got, want) << c.name << ", " << when << ": " << key;
                }
            }
        };
        check("loaded");
        check("looked up before");
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& st = c.steps[i];
            if (st.op == 's') {
                ASSERT_EQ(doc.set(st.section, st.key, st.value), CONFIG_OK) << c.name << " step " << i;
            } else {
                doc.remove(st.section, st.key);
            }
            check("after step " + std::to_string(i));
        }
    }
}

// Keys written by someone who read the hash: sixteen bytes whose second word cancels what the
// first left in the state, so that without a secret seed they all share one hash.
std::vector<std::string> keys_colliding_without_a_seed(size_t count) {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const uint64_t start = cfg::kKeyHashSeed ^ (16 * kMul);
    std::vector<std::string> keys;
    for (uint64_t i = 0; keys.size() < count; ++i) {
        uint64_t first = 0x6161616161616161ull;  // "aaaaaaaa" counting up in letters
        for (uint64_t n = i, b = 0; n != 0; n /= 26, ++b) first += (n % 26) << (8 * b);
        uint64_t h = (start ^ first) * kMul;
        h ^= h >> 29;
        const uint64_t second = h ^ 0x6161616161616161ull;
        std::string key(16, '\0');
        std::memcpy(&key[0], &first, 8);
        std::memcpy(&key[8], &second, 8);
        const bool usable = key.find_first_of(std::string("\0\n\r=\t ", 6)) == std::string::npos &&
                            std::none_of(key.begin(), key.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        if (usable) keys.push_back(key);
    }
    return keys;
}

TEST(DocumentLookup, KeysMadeToCollideIndexLikeAnyOthers) {
    constexpr size_t kCount = 20000;
    const std::vector<std::string> colliding = keys_colliding_without_a_seed(kCount);
    ASSERT_EQ(cfg::hash_name(colliding[0], cfg::kKeyHashSeed), cfg::hash_name(colliding[kCount - 1], cfg::kKeyHashSeed));
    std::mt19937 rng(7);
    std::string attack = "[s]\n", plain = "[s]\n";
    for (const std::string& key : colliding) {
        attack += key + "=1\n";
        plain += "k" + std::to_string(rng()) + std::to_string(rng()) + "=1\n";
    }
    cfg::Document hostile = loaded(attack);
    const cfg::Document random = loaded(plain);
    // Unseeded, the colliding keys would cost about kCount / 2 probes each.
    EXPECT_LT(hostile.mean_index_probes(), 2 * random.mean_index_probes() + 1);
    EXPECT_NE(hostile.find(colliding[kCount / 2]), nullptr);
}

// However an odd line reads, every operation reads it the same way: what loads can be found,
// tested, set and removed under the name it loaded with, and nothing else can.
TEST(DocumentGrammar, OddLinesReadTheSameThroughEveryOperation) {
    using Kind = cfg::Document::LineKind;
    const struct {
        const char* line;
        Kind kind;
        const char* name;  // a header's name or an entry's key
        const char* value;
    } cases[] = {
        {"a\rb=1", Kind::kEntry, "a\rb", "1"},       {" k \t=\t v v \t", Kind::kEntry, "k", "v v"},
        {"k==v", Kind::kEntry, "k", "=v"},           {"k=", Kind::kEntry, "k", ""},
        {"k=v\r", Kind::kEntry, "k", "v"},           {"k]=[v", Kind::kEntry, "k]", "[v"},
        {"k\r=\rv", Kind::kEntry, "k\r", "\rv"},     {"[ a\rb ] tail", Kind::kSection, "a\rb", ""},
        {"[a]b]", Kind::kSection, "a", ""},          {" \t[s=t]", Kind::kSection, "s=t", ""},
        {"=v", Kind::kOther, "", ""},                {" \t=v", Kind::kOther, "", ""},
        {"[k=v", Kind::kOther, "[k", ""},            {"just text", Kind::kOther, "just text", ""},
        {";k=v", Kind::kComment, ";k", ""},          {" #k=v", Kind::kComment, "#k", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.line)));
        const bool header = c.kind == Kind::kSection;
        const std::string file = header ? std::string(c.line) + "\nk=v\n" : "[S]\n" + std::string(c.line) + "\n";
        const std::string section = header ? c.name : "S";
        const std::string key = header ? "k" : c.name;
        const uint32_t number = header ? 1 : 2;
        cfg::Document doc = loaded(file);
        doc.for_each_line([&](uint32_t n, Kind kind, std::string_view, std::string_view, std::string_view k,
                              std::string_view v) {
            if (n != number) return 0;
            EXPECT_EQ(kind, c.kind);
            if (c.kind == Kind::kEntry) {
                EXPECT_EQ(k, c.name);
                EXPECT_EQ(v, c.value);
            }
            return 0;
        });
        if (c.kind != Kind::kEntry && !header) {
            // Means nothing: no name of it is found, and a set of it adds a line of its own.
            EXPECT_EQ(doc.find(key), nullptr);
            EXPECT_FALSE(doc.contains(section, key));
            EXPECT_EQ(doc.remove(section, key), 0u);
            EXPECT_EQ(doc.serialize(), file);
            continue;
        }
        EXPECT_STREQ(doc.find(key), header ? "v" : c.value);
        EXPECT_TRUE(doc.contains(section, key));
        EXPECT_EQ(cfg::check_section(section), CONFIG_OK);
        EXPECT_EQ(cfg::check_key(key), CONFIG_OK);
        ASSERT_EQ(doc.set(section, key, "new"), CONFIG_OK);
        const std::string set = doc.serialize();
        EXPECT_EQ(std::count(set.begin(), set.end(), '\n'), std::count(file.begin(), file.end(), '\n')) << set;
        EXPECT_STREQ(loaded(set).find(key), "new");
        cfg::Document again = loaded(file);
        EXPECT_EQ(again.remove(section, key), 1u);
        EXPECT_FALSE(again.contains(section, key));
        EXPECT_EQ(again.serialize().size(), file.size() - (header ? 4 : std::strlen(c.line) + 1));
    }
}

}  // namespace
