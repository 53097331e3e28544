// SPDX-License-Identifier: Apache-2.0
// The public header in C++ under Microsoft's ABI: it compiles, and offers the C functions only.
#include "tarnwick.h"

#ifdef TARNWICK_CXX_EXCEPTIONS
#error "the exception classes follow MinGW's C++ ABI and must not be offered to an MSVC host"
#endif

extern "C" int32_t tw_header_uses(AttribMngr* mngr) { return attrib_mngr_save_attribs(mngr); }
