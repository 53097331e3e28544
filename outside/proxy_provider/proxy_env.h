/* SPDX-License-Identifier: Apache-2.0 */
// The proxy list that the Linux proxy provider reports for a proxy URL of the environment.
#ifndef WININET_PROXY_ENV_H
#define WININET_PROXY_ENV_H

#include <string>

namespace wininet {

// "http=" followed by the host and port of url (scheme, credentials, path, query and
// surrounding white space removed); "" when url is NULL or names no host or port.
std::string proxy_list_from_url(const char* url);

// The list for http_proxy, else HTTP_PROXY (the first set and not empty); "" for none.
std::string system_proxy_list();

}  // namespace wininet

#endif
