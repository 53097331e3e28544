// SPDX-License-Identifier: Apache-2.0
// Locating the attribute file inside this process: product name, buffer limits, the
// environment override and the temporary directory, each checked against the path query.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "attribs/locate.h"
#include "environment.h"
#include "files.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"
#include "tarnwick/plinth32.h"

namespace {

namespace fs = std::filesystem;
using twtest::EnvGuard;

constexpr char kSep = OS_PATH_SEPARATOR;

// --- Product name ------------------------------------------------------------------------

struct ProductCase {
    const char* label;
    std::string file;  // content of the product configuration; "" for no file
    std::string expected;
};

TEST(ProductName, ReadFromProductConfiguration) {
    const std::string long_name(tw::kProductNameSize - 1, 'n');
    const ProductCase cases[] = {
        {"unique 1", "[Product]\nUniqueConfiguration=1\nProductName=My Agent\n", "My_Agent"},
        {"unique 0", "[Product]\nUniqueConfiguration=0\nProductName=My Agent\n", ""},
        {"unique 1yes", "[Product]\nUniqueConfiguration=1yes\nProductName=My Agent\n", "My_Agent"},
        {"unique 01", "[Product]\nUniqueConfiguration=01\nProductName=My Agent\n", ""},
        {"unique empty", "[Product]\nUniqueConfiguration=\nProductName=My Agent\n", ""},
        {"unique absent", "[Product]\nProductName=My Agent\n", ""},
        {"name absent", "[Product]\nUniqueConfiguration=1\n", ""},
        {"several blanks", "[Product]\nUniqueConfiguration=1\nProductName=My  Big   Agent\n", "My__Big___Agent"},
        {"keys in two sections", "[A]\nUniqueConfiguration=1\n[B]\nProductName=Other Agent\n", "Other_Agent"},
        {"longest name", "[P]\nUniqueConfiguration=1\nProductName=" + long_name + "\n", long_name},
        {"name too long", "[P]\nUniqueConfiguration=1\nProductName=" + long_name + "x\n", ""},
        {"no file", "", ""},
    };
    const twtest::ScratchDir scratch("product");
    const fs::path dir = scratch.dir();
    for (const ProductCase& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path file = dir / "brix_agent.cfg";
        fs::remove(file);
        if (!c.file.empty()) twtest::write_file(file, c.file);
        char product[tw::kProductNameSize];
        std::memset(product, 'x', sizeof product);
        tw::read_product_name_from(file.string().c_str(), product);
        EXPECT_EQ(std::string(product), c.expected);
    }
}

// --- Buffer limits -------------------------------------------------------------------------

TEST(BufferLimits, ProductConfigurationPathFitsOrIsRefused) {
    const std::string tail = std::string(1, kSep) + ".." + kSep + "dat" + kSep + "brix_agent.cfg";
    const size_t longest = tw::kModulePathSize - 1 - tail.size();
    for (const size_t length : {size_t(0), longest, longest + 1, tw::kModulePathSize - 1}) {
        SCOPED_TRACE(length);
        char module_path[tw::kModulePathSize + 8];
        std::memset(module_path, '#', sizeof module_path);
        const std::string dir(length, 'd');
        std::memcpy(module_path, dir.c_str(), length + 1);
        const bool fits = length <= longest;
        EXPECT_EQ(tw::append_product_config(module_path), fits);
        EXPECT_EQ(std::string(module_path), fits ? dir + tail : "");
        EXPECT_EQ(std::string(module_path + tw::kModulePathSize, 8), std::string(8, '#'));
    }
}

TEST(BufferLimits, FileNameFitsDefaultPathOrIsRefused) {
    struct Case {
        size_t dir_length;
        const char* product;
        int32_t expected;
    };
    // kDefaultPathSize = dir + separator + name + terminator at the edge.
    const size_t plain = tw::kDefaultPathSize - 1 - std::strlen("k_agent_attribs.cfg") - 1;
    const size_t named = tw::kDefaultPathSize - 1 - std::strlen("Product_agent_attribs.cfg") - 1;
    const Case cases[] = {
        {plain, "", ATTRIB_MNGR_OK},
        {plain + 1, "", ATTRIB_MNGR_PATH_TOO_LONG},
        {named, "Product", ATTRIB_MNGR_OK},
        {named + 1, "Product", ATTRIB_MNGR_PATH_TOO_LONG},
        {tw::kDefaultPathSize - 1, "", ATTRIB_MNGR_PATH_TOO_LONG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dir_length) + " " + c.product);
        char buffer[tw::kDefaultPathSize + 8];
        std::memset(buffer, '#', sizeof buffer);
        const std::string dir(c.dir_length, 'd');
        std::memcpy(buffer, dir.c_str(), dir.size() + 1);
        EXPECT_EQ(tw::append_file_name(buffer, tw::kDefaultPathSize, c.product), c.expected);
        const std::string name = c.product[0] ? std::string(c.product) + "_agent_attribs.cfg" : "k_agent_attribs.cfg";
        EXPECT_EQ(std::string(buffer), c.expected == ATTRIB_MNGR_OK ? dir + kSep + name : dir);
        EXPECT_EQ(std::string(buffer + tw::kDefaultPathSize, 8), std::string(8, '#'));
    }
}

// --- Locating and the path query -------------------------------------------------------------

// What the path query answers, sized as it asks.
struct Query {
    int32_t code;
    std::string path;
};

Query query() {
    int32_t size = 0;
    int32_t code = attrib_mngr_get_null_filename(nullptr, &size);
    if (code != ATTRIB_MNGR_BUFFER_TOO_SMALL) return {code, ""};
    std::string buffer(static_cast<size_t>(size), '\0');
    code = attrib_mngr_get_null_filename(buffer.data(), &size);
    return {code, code == ATTRIB_MNGR_OK ? buffer.c_str() : ""};
}

// What locating for opening answers; the allocated path is released here.
struct Located {
    int32_t code;
    std::string path;
    bool allocated;
};

Located locate() {
    char default_path[tw::kDefaultPathSize];
    char* path = reinterpret_cast<char*>(1);
    bool allocated = true;
    const int32_t code = tw::locate_attrib_file(default_path, &path, &allocated);
    Located result{code, path != nullptr ? path : "", allocated};
    if (code == ATTRIB_MNGR_OK && !allocated) {
        EXPECT_EQ(path, default_path);
    }
    if (code != ATTRIB_MNGR_OK) {
        EXPECT_EQ(path, nullptr);
    }
    if (allocated) maw_free(path);
    return result;
}

// What opening with a null path opens; the handle is released here.
Query open_null() {
    AttribMngr* mngr = nullptr;
    const int32_t code = attrib_mngr_init(nullptr, &mngr);
    Query result{code, mngr != nullptr ? attrib_mngr_get_filename(mngr) : ""};
    if (code != ATTRIB_MNGR_OK) {
        EXPECT_EQ(mngr, nullptr);
    }
    delete_attribs_mngr(mngr);
    return result;
}

class Locate : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "tmp");
        env_.set_temp_dir(root_ / "tmp");
        env_.set("QZ_CFG_FILE_PATH", nullptr);
    }
    twtest::ScratchDir scratch_{"locate"};
    const fs::path root_ = scratch_.dir();
    EnvGuard env_;
};

TEST_F(Locate, OverrideNamesTheFileAndOnlyOpeningCreatesItsDirectory) {
    struct Case {
        const char* label;
        fs::path dir;
        bool exists;
    };
    const Case cases[] = {
        {"existing", root_ / "cfg", true},
        {"missing", root_ / "new" / "deeper", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.exists) fs::create_directories(c.dir);
        env_.set("QZ_CFG_FILE_PATH", c.dir.string().c_str());
        const std::string expected = c.dir.string() + kSep + "k_agent_attribs.cfg";

        const Query q = query();
        EXPECT_EQ(q.code, ATTRIB_MNGR_OK);
        EXPECT_EQ(q.path, expected);
        EXPECT_EQ(fs::is_directory(c.dir), c.exists) << "the query must not create the directory";

        const Located l = locate();
        EXPECT_EQ(l.code, ATTRIB_MNGR_OK);
        EXPECT_TRUE(l.allocated);
        EXPECT_EQ(l.path, expected);
        EXPECT_TRUE(fs::is_directory(c.dir));

        fs::remove_all(c.dir);
        const Query opened = open_null();
        EXPECT_EQ(opened.code, ATTRIB_MNGR_OK);
        EXPECT_EQ(opened.path, expected);
        EXPECT_TRUE(fs::is_regular_file(expected)) << "opening creates directory and file";
    }
}

TEST_F(Locate, OverrideThatCannotBeCreatedIsRefused) {
    twtest::write_file(root_ / "file", "x");
    env_.set("QZ_CFG_FILE_PATH", (root_ / "file" / "sub").string().c_str());
    const Located l = locate();
    EXPECT_EQ(l.code, ATTRIB_MNGR_MKDIR_FAILED);
    EXPECT_FALSE(l.allocated);
    EXPECT_EQ(open_null().code, ATTRIB_MNGR_MKDIR_FAILED);
}

TEST_F(Locate, QueryReportsTheExactSizeNeeded) {
    const std::string long_dir = (root_ / std::string(3000, 'l')).string();
    for (const std::string& dir : {(root_ / "cfg").string(), long_dir}) {
        SCOPED_TRACE(dir.size());
        env_.set("QZ_CFG_FILE_PATH", dir.c_str());
        const std::string expected = dir + kSep + "k_agent_attribs.cfg";
        const int32_t needed = static_cast<int32_t>(expected.size() + 1);

        std::string buffer(expected.size() + 8, '#');
        int32_t size = needed - 1;
        EXPECT_EQ(attrib_mngr_get_null_filename(buffer.data(), &size), ATTRIB_MNGR_BUFFER_TOO_SMALL);
        EXPECT_EQ(size, needed);
        EXPECT_EQ(buffer, std::string(expected.size() + 8, '#')) << "a refused buffer stays untouched";

        EXPECT_EQ(attrib_mngr_get_null_filename(buffer.data(), &size), ATTRIB_MNGR_OK);
        EXPECT_EQ(size, needed);
        EXPECT_EQ(std::string(buffer.c_str()), expected);
        EXPECT_EQ(buffer.substr(expected.size() + 1), std::string(7, '#'));
    }
    int32_t size = 0;
    EXPECT_EQ(attrib_mngr_get_null_filename(nullptr, &size), ATTRIB_MNGR_BUFFER_TOO_SMALL);
    EXPECT_EQ(attrib_mngr_get_null_filename(nullptr, nullptr), ATTRIB_MNGR_NULL_ARGUMENT);
}

TEST_F(Locate, WithoutOverrideTheFileLiesInTheTemporaryDirectory) {
    const Query q = query();
    EXPECT_EQ(q.code, ATTRIB_MNGR_OK);
    EXPECT_EQ(q.path, (root_ / "tmp").string() + kSep + "k_agent_attribs.cfg");
    const Located l = locate();
    EXPECT_EQ(l.code, ATTRIB_MNGR_OK);
    EXPECT_FALSE(l.allocated);
    EXPECT_EQ(l.path, q.path);
    const Query opened = open_null();
    EXPECT_EQ(opened.code, ATTRIB_MNGR_OK);
    EXPECT_EQ(opened.path, q.path);
}

TEST_F(Locate, AnEmptyOverrideCountsAsUnset) {
    env_.set("QZ_CFG_FILE_PATH", "");
    const Query q = query();
    EXPECT_EQ(q.code, ATTRIB_MNGR_OK);
    EXPECT_EQ(q.path, (root_ / "tmp").string() + kSep + "k_agent_attribs.cfg");
    EXPECT_EQ(locate().path, q.path);
}

TEST_F(Locate, TemporaryDirectoryTooLongForTheDefaultPathIsRefused) {
    // Directory lengths on both sides of the edge: dir + separator + name + terminator.
    const size_t edge = tw::kDefaultPathSize - 1 - std::strlen("k_agent_attribs.cfg") - 1;
    const std::string base = root_.string();
    ASSERT_LT(base.size() + 20, edge);
    for (const size_t length : {edge, edge + 1}) {
        SCOPED_TRACE(length);
        // Built from short components so that no single name is too long for the system.
        fs::path dir = root_ / std::to_string(length);
        while (dir.string().size() + 102 < length) dir /= std::string(100, 'c');
        dir /= std::string(length - dir.string().size() - 1, 'e');
        ASSERT_EQ(dir.string().size(), length);
        fs::create_directories(dir);
        env_.set_temp_dir(dir);

        const Query q = query();
        const Located l = locate();
        if (q.code == ATTRIB_MNGR_NO_TMP_DIR && length == edge) {
            // Windows reports no temporary directory longer than MAX_PATH; the resolver
            // reaches the same limit in the layout tests.
            GTEST_SKIP() << "no temporary directory of " << length << " characters on this system";
        }
        if (length == edge) {
            EXPECT_EQ(q.code, ATTRIB_MNGR_OK);
            EXPECT_EQ(q.path, dir.string() + kSep + "k_agent_attribs.cfg");
            EXPECT_EQ(l.path, q.path);
        } else {
            EXPECT_EQ(q.code, ATTRIB_MNGR_PATH_TOO_LONG);
            EXPECT_EQ(l.code, ATTRIB_MNGR_PATH_TOO_LONG);
            EXPECT_EQ(open_null().code, ATTRIB_MNGR_PATH_TOO_LONG);
        }
    }
}

}  // namespace
