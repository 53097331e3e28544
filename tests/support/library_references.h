/* SPDX-License-Identifier: Apache-2.0 */
// How many references the process holds on the loaded library at path: releases them one by
// one until it is unloaded. Nothing of the library may be called afterwards.
#ifndef TW_LIBRARY_REFERENCES_H
#define TW_LIBRARY_REFERENCES_H

int release_library(const char* path);

#endif
