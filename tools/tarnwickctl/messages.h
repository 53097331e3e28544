// The one-line texts tarnwickctl prints for a result code of the library or its store.
#ifndef TARNWICKCTL_MESSAGES_H
#define TARNWICKCTL_MESSAGES_H

#include <cstdint>
#include <string>

namespace twctl {

// What a result code means: the library's own codes, "configuration store error" for the
// store's range, "unknown error" for anything else.
const char* code_meaning(int32_t code);

// "error CODE: MEANING", followed by " \"SUBJECT\"" when subject is not empty, e.g.
// error -25: no section holds the attribute "Foo"
std::string error_line(int32_t code, const std::string& subject);

}  // namespace twctl

#endif
