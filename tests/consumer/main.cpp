// SPDX-License-Identifier: Apache-2.0
// The C++ side of the consumer: the full header, with its exception classes, compiles and
// links against the installed libraries.
#include <cstdio>

#include "tarnwick.h"

extern "C" int consumer_run(const char* path);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: consumer FILE\n");
        return 2;
    }
    try {
        return consumer_run(argv[1]);
    } catch (CKvBaseException& e) {
        std::fprintf(stderr, "exception: %s\n", e.Message());
        return 1;
    }
}
