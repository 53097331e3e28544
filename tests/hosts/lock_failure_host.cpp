// SPDX-License-Identifier: Apache-2.0
// A host that opens the attribute file while the machine-wide lock cannot be created. The
// lock's CInterprocException must reach it through its base class with the exact message,
// store nothing, create nothing, and leave nothing behind: once the obstacle is gone, opening
// works.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "lock_failure.h"
#include "tarnwick.h"

namespace fs = std::filesystem;

static int failures = 0;

static void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main() {
    const fs::path dir = fs::absolute("scratch");
    fs::remove_all(dir);
    fs::create_directory(dir);
    const std::string file = (dir / "agent.cfg").string();
    AttribMngr* const untouched = reinterpret_cast<AttribMngr*>(&failures);
    AttribMngr* mngr = untouched;
    bool caught = false;
    auto obstacle = std::make_unique<LockObstacle>(dir.string());
    if (!obstacle->in_place()) {
        std::fprintf(stderr, "could not put an obstacle where the lock goes\n");
        return 1;
    }
    try {
        const int32_t rc = attrib_mngr_init(file.c_str(), &mngr);
        std::fprintf(stderr, "attrib_mngr_init returned %d\n", static_cast<int>(rc));
    } catch (CKvBaseException& e) {
        caught = true;
        check(dynamic_cast<CInterprocException*>(&e) != nullptr, "the exception is a CInterprocException");
        check(std::strcmp(*e, "init_interprocess_critical_section: Unable to create mutex") == 0,
              "the exception's message");
    } catch (...) {
        check(false, "the exception has the base CKvBaseException");
    }
    check(caught, "attrib_mngr_init threw");
    check(mngr == untouched, "nothing was stored for the host");
    check(!fs::exists(file), "no file was created");

    obstacle.reset();
    mngr = nullptr;
    check(attrib_mngr_init(file.c_str(), &mngr) == ATTRIB_MNGR_OK, "opening works once the lock can be made");
    check(mngr != nullptr && fs::exists(file), "the file was created then");
    delete_attribs_mngr(mngr);

    fs::remove_all(dir);
    if (failures == 0) std::printf("all checks passed\n");
    return failures == 0 ? 0 : 1;
}
