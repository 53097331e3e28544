// SPDX-License-Identifier: Apache-2.0
// tarnwickctl: reads and writes the agent attribute file from the command line.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "messages.h"
#include "tarnwick.h"

namespace {

int run_guarded(const std::vector<std::string>& args) {
    try {
        return twctl::run(args, std::cout, std::cerr);
    } catch (CKvBaseException& e) {
        // The machine-wide lock could not be created: the library's one exception.
        std::cerr << "tarnwickctl: " << e.Message() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << twctl::error_line(ATTRIB_MNGR_NO_MEMORY, "") << "\n";
    } catch (const std::exception& e) {
        std::cerr << "tarnwickctl: " << e.what() << "\n";
    }
    return twctl::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    int status = run_guarded(args);
    // Output that did not reach its destination (a full disk, a closed pipe) is a failure,
    // whatever the command did.
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::cerr << "tarnwickctl: standard output could not be written\n";
        status = twctl::kExitFailed;
    }
    return status;
}
