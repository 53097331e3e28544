// The few operating-system services the attribute library calls itself. One implementation
// per platform (platform_win.cpp, platform_posix.cpp); nothing else in src/ asks which
// platform it runs on.
#ifndef TARNWICK_PLATFORM_H
#define TARNWICK_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace tw::platform {

}  // namespace tw::platform

#endif
