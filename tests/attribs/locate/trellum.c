/* SPDX-License-Identifier: Apache-2.0 */
/* A path resolver for tests. It answers only the question the attribute library asks
 * (4, 0, "") and names the directory in TRELLUM_TEST_DIR; without that variable it knows no
 * directory. A value of 1024 characters or more fills the whole buffer with no terminator,
 * as a careless resolver would. */
#include <stdlib.h>
#include <string.h>

#define TRELLUM_BUFFER_SIZE 1024

int GetFullPath(int kind, int flags, const char* name, char* directory) {
    const char* answer = getenv("TRELLUM_TEST_DIR");
    size_t length;
    if (kind != 4 || flags != 0 || name == NULL || name[0] != '\0' || directory == NULL || answer == NULL) return 0;
    length = strlen(answer);
    if (length >= TRELLUM_BUFFER_SIZE) {
        memcpy(directory, answer, TRELLUM_BUFFER_SIZE);
        return 1;
    }
    memcpy(directory, answer, length + 1);
    return 1;
}
