/* SPDX-License-Identifier: Apache-2.0 */
/* The Linux proxy provider: the one query of the Windows Internet services library that the
 * attribute library makes, reporting the Linux convention for the system's HTTP proxy.
 *
 * Built and installed on Linux as libwininet.so beside plinth32, so that
 * os_load_library("wininet.dll") finds it. Hosts do not link it; the library loads it.
 */
#ifndef TARNWICK_PROXY_PROVIDER_H
#define TARNWICK_PROXY_PROVIDER_H

#include <stdint.h>

#define WININET_OPTION_PROXY 38u
#define WININET_OPEN_TYPE_DIRECT 1u
#define WININET_OPEN_TYPE_PROXY 3u

/* The record written at the start of the caller's buffer; its texts lie in the same buffer. */
typedef struct {
    uint32_t access_type;     /* WININET_OPEN_TYPE_DIRECT or WININET_OPEN_TYPE_PROXY */
    const char* proxy;        /* "http=host[:port]", or NULL when there is no proxy */
    const char* proxy_bypass; /* always NULL */
} WininetProxyInfo;

#ifdef __cplusplus
extern "C" {
#endif

/* internet: must be NULL (the process-wide settings). option: WININET_OPTION_PROXY only.
 * size: in, the buffer's size; out, the bytes written or needed.
 * Returns non-zero when the record was written. Returns 0 with errno ERANGE and the size
 * needed in *size when the buffer is NULL or too small; with errno EINVAL for a handle, an
 * unknown option or a NULL size. The proxy is http_proxy, else HTTP_PROXY (the first that is
 * set and not empty), with any scheme, credentials and path removed. */
__attribute__((visibility("default"))) int InternetQueryOptionA(void* internet, uint32_t option, void* buffer,
                                                                uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* TARNWICK_PROXY_PROVIDER_H */
