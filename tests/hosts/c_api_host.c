/* SPDX-License-Identifier: Apache-2.0 */
/* A host written in C: includes only the public header and calls every entry point. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarnwick.h"

static int failures = 0;

#define CHECK(cond)                                                   \
    do {                                                              \
        if (!(cond)) {                                                \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                               \
        }                                                             \
    } while (0)

int main(void) {
    const char* path = "c_api_host.cfg";
    AttribMngr* mngr = NULL;
    char* buffer;
    int32_t size;
    int32_t rc;

    remove(path);
    CHECK(attrib_mngr_init(path, &mngr) == ATTRIB_MNGR_OK);
    if (mngr == NULL) return 1;
    CHECK(strcmp(attrib_mngr_get_filename(mngr), path) == 0);
    CHECK(attrib_mngr_set_attrib(mngr, "Agent", "Server", "host.example", 0) == ATTRIB_MNGR_OK);
    CHECK(attrib_mngr_save_attribs(mngr) == ATTRIB_MNGR_OK);
    delete_attribs_mngr(mngr);

    /* Reopened from disk; the value's size asked first with a NULL buffer. */
    mngr = NULL;
    CHECK(attrib_mngr_init(path, &mngr) == ATTRIB_MNGR_OK);
    if (mngr == NULL) return 1;
    size = 0;
    CHECK(attrib_mngr_get_attrib(mngr, "Server", NULL, &size, 0) == ATTRIB_MNGR_BUFFER_TOO_SMALL);
    CHECK(size == (int32_t)sizeof "host.example");
    buffer = (char*)malloc((size_t)size);
    CHECK(attrib_mngr_get_attrib(mngr, "Server", buffer, &size, 0) == ATTRIB_MNGR_OK);
    CHECK(strcmp(buffer, "host.example") == 0);
    free(buffer);
    CHECK(attrib_mngr_get_attrib(mngr, "Nothing", NULL, &size, 0) == ATTRIB_MNGR_NOT_FOUND);
    delete_attribs_mngr(mngr);
    delete_attribs_mngr(NULL);

    /* The default location's path, sized the same way; NULL size is refused. */
    size = 0;
    rc = attrib_mngr_get_null_filename(NULL, &size);
    CHECK(rc != ATTRIB_MNGR_OK);
    CHECK(rc != ATTRIB_MNGR_BUFFER_TOO_SMALL || size > 1);
    CHECK(attrib_mngr_get_null_filename(NULL, NULL) == ATTRIB_MNGR_NULL_ARGUMENT);

    /* Texts of codes: the library's, the store's, and one for a code that is neither. */
    CHECK(strcmp(attrib_mngr_error_text(ATTRIB_MNGR_NOT_FOUND), "no section holds the attribute") == 0);
    CHECK(strcmp(attrib_mngr_error_text(-1010), attrib_mngr_error_text(-1012)) != 0);
    CHECK(strcmp(attrib_mngr_error_text(-21), attrib_mngr_error_text(12345)) == 0);

    remove(path);
    if (failures == 0) printf("all checks passed\n");
    return failures == 0 ? 0 : 1;
}
