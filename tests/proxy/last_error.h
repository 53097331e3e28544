/* SPDX-License-Identifier: Apache-2.0 */
// Sets the calling thread's last error as the system's proxy query reports it.
#ifndef TARNWICK_TESTS_PROXY_LAST_ERROR_H
#define TARNWICK_TESTS_PROXY_LAST_ERROR_H

void set_last_error_insufficient_buffer();
void set_last_error_other();

#endif
