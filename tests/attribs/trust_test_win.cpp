// Who may have planted a file, judged from its owner and its directory's access list.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "platform/platform.h"
#include "platform/trust_win.h"
#include "tarnwick.h"

namespace {

// A SID or a security descriptor from its string form, freed with the object.
class Sid {
public:
    explicit Sid(const char* text) { ConvertStringSidToSidA(text, &sid_); }
    ~Sid() { LocalFree(sid_); }
    PSID get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

class Descriptor {
public:
    explicit Descriptor(const char* text) {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &sd_, nullptr);
    }
    ~Descriptor() { LocalFree(sd_); }
    PSECURITY_DESCRIPTOR get() const { return sd_; }

private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
};

constexpr char kCaller[] = "S-1-5-21-1-2-3-1001";
constexpr char kOther[] = "S-1-5-21-1-2-3-1002";

TEST(PlantedBySecurity, OwnerAndDirectoryTable) {
    // FILE_ADD_FILE is 0x2; 0x1 (list) lets nobody create anything.
    const std::string caller_may_write = std::string("D:(A;;0x2;;;") + kCaller + ")(A;;FA;;;SY)(A;;FA;;;BA)";
    const struct {
        const char* label;
        const char* owner;
        std::string directory;
        bool planted;
    } cases[] = {
        {"another's file, users may add files", kOther, "D:(A;;0x2;;;BU)", true},
        {"another's file, everyone may write", kOther, "D:(A;;GW;;;WD)", true},
        {"another's file, a named user may change the list", kOther, "D:(A;;WD;;;" + std::string(kOther) + ")", true},
        {"another's file, no access list", kOther, "", true},
        {"another's file, only the caller and administrators add files", kOther, caller_may_write, false},
        {"another's file, users may only list", kOther, "D:(A;;0x1;;;BU)", false},
        {"another's file, users' entry only for children", kOther, "D:(A;OICIIO;0x2;;;BU)", false},
        {"another's file, a denied entry is not weighed", kOther, "D:(D;;0x2;;;BU)(A;;0x2;;;BU)", true},
        {"the caller's own file", kCaller, "D:(A;;0x2;;;BU)", false},
        {"SYSTEM's file", "S-1-5-18", "D:(A;;0x2;;;BU)", false},
        {"the administrators' file", "S-1-5-32-544", "D:(A;;0x2;;;BU)", false},
    };
    const Sid caller(kCaller);
    ASSERT_NE(caller.get(), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Sid owner(c.owner);
        // "O:" alone gives a descriptor without an access list.
        const Descriptor directory(c.directory.empty() ? "O:SY" : c.directory.c_str());
        ASSERT_NE(owner.get(), nullptr);
        ASSERT_NE(directory.get(), nullptr);
        EXPECT_EQ(tw::platform::planted_by_security(owner.get(), directory.get(), caller.get()), c.planted);
    }
}

TEST(UntrustedFile, OwnFileInTheTemporaryDirectoryAndNoFile) {
    char temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    const std::string path = std::string(temp) + "tw_trust_" + std::to_string(GetCurrentProcessId()) + ".cfg";
    EXPECT_FALSE(tw::platform::is_untrusted_file(path.c_str()));  // nothing there yet
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_FALSE(tw::platform::is_untrusted_file(path.c_str()));
    DeleteFileA(path.c_str());
}

// A whole opening: a file given another owner, in a directory where users may add files.
// Wine keeps security descriptors only where its file system can store them; where the owner
// does not stick, the test says so and is skipped.
TEST(UntrustedFile, OpeningRefusesAFileOfAnotherOwnerInASharedDirectory) {
    char temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    const std::string dir = std::string(temp) + "tw_shared_" + std::to_string(GetCurrentProcessId());
    const std::string path = dir + "\\agent.cfg";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    const Descriptor shared("D:(A;OICI;FA;;;BU)(A;OICI;FA;;;SY)");
    ASSERT_NE(shared.get(), nullptr);
    const bool dir_set = SetFileSecurityA(dir.c_str(), DACL_SECURITY_INFORMATION, shared.get()) != 0;
    const char kForged[] = "[Agent]\r\nServerMachine=evil.example\r\n";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, kForged, sizeof kForged - 1, &written, nullptr);
    CloseHandle(h);

    const Descriptor foreign((std::string("O:") + kOther).c_str());
    const bool owner_set = SetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, foreign.get()) != 0;
    // Read back: does the owner stick?
    char buffer[512];
    DWORD needed = 0;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    const bool stuck = owner_set && dir_set &&
                       GetFileSecurityA(path.c_str(), OWNER_SECURITY_INFORMATION, buffer, sizeof buffer, &needed) &&
                       GetSecurityDescriptorOwner(buffer, &owner, &defaulted) && owner != nullptr &&
                       EqualSid(owner, Sid(kOther).get());
    if (stuck) {
        EXPECT_TRUE(tw::platform::is_untrusted_file(path.c_str()));
        AttribMngr* mngr = nullptr;
        EXPECT_EQ(attrib_mngr_init(path.c_str(), &mngr), ATTRIB_MNGR_UNTRUSTED_FILE);
        EXPECT_EQ(mngr, nullptr);
    }
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
    if (!stuck)
        GTEST_SKIP() << "this system does not keep the security the test sets (directory access list set: " << dir_set
                     << ", file owner set: " << owner_set << ")";
}

}  // namespace
