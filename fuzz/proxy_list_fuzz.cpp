// SPDX-License-Identifier: Apache-2.0
// parse_proxy_list on arbitrary lists, with host and port buffers of exactly their documented
// size on the heap: no write past either, and on success two terminated texts without control
// characters; on failure both buffers untouched.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "proxy.h"
#include "proxy_list.h"

using twfuzz::check;

namespace {

bool is_clean_text(const std::vector<char>& buffer) {
    const void* end = std::memchr(buffer.data(), 0, buffer.size());
    if (end == nullptr) return false;
    for (const char* p = buffer.data(); p != end; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> list(data, data + size);
    list.push_back('\0');
    std::vector<char> host(tw::kProxyTextSize, '\x5a'), port(tw::kProxyTextSize, '\x5a');
    const std::vector<char> untouched = host;
    const int32_t found = tw::parse_proxy_list(list.data(), host.data(), port.data());
    check(found == 0 || found == 1, "result is neither 0 nor 1");
    if (found == 1) {
        check(is_clean_text(host), "host is not a clean terminated text");
        check(is_clean_text(port), "port is not a clean terminated text");
    } else {
        check(host == untouched && port == untouched, "a buffer was written without a result");
    }
    return 0;
}
