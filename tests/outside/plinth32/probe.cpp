// SPDX-License-Identifier: Apache-2.0
#if defined(_WIN32)
#  define PROBE_API extern "C" __declspec(dllexport)
#else
#  define PROBE_API extern "C" __attribute__((visibility("default")))
#endif

PROBE_API int plinth32_probe_answer() { return 42; }
