// SPDX-License-Identifier: Apache-2.0
// Reading the product name from an arbitrary product configuration file, into a buffer of
// exactly its documented size on the heap: no write past it, and the name is a terminated
// text without spaces (they become underscores), or empty.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "attribs/locate.h"
#include "fuzz_check.h"

using twfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        std::atexit([] { std::remove(("/tmp/product_config_fuzz_" + std::to_string(getpid()) + ".cfg").c_str()); });
        return "/tmp/product_config_fuzz_" + std::to_string(getpid()) + ".cfg";
    }();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "cannot write the input file");
    check(std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0, "cannot write the input file");

    std::vector<char> product(tw::kProductNameSize, '\x5a');
    tw::read_product_name_from(path.c_str(), product.data());
    const void* end = std::memchr(product.data(), 0, product.size());
    check(end != nullptr, "product name not terminated inside its buffer");
    for (const char* p = product.data(); p != end; ++p) check(*p != ' ', "space left in the name");
    return 0;
}
