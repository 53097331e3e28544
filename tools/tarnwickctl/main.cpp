// tarnwickctl: reads and writes the agent attribute file from the command line.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "messages.h"
#include "tarnwick.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    try {
        return twctl::run(args, std::cout, std::cerr);
    } catch (CKvBaseException& e) {
        // The machine-wide lock could not be created: the library's one exception.
        std::cerr << "error: " << e.Message() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << twctl::error_line(ATTRIB_MNGR_NO_MEMORY, "") << "\n";
    } catch (const std::exception& e) {
        std::cerr << "error: " << e.what() << "\n";
    }
    return twctl::kExitFailed;
}
