/* SPDX-License-Identifier: Apache-2.0 */
/* A plain-C host of the installed library: opens a file at an explicit path, writes a plain
 * and a scrambled value, saves, reopens and reads both back. */
#include <stdio.h>
#include <string.h>

#include "tarnwick.h"

int consumer_run(const char* path);

static int check(int32_t rc, const char* what) {
    if (rc != ATTRIB_MNGR_OK) fprintf(stderr, "%s failed: %d\n", what, (int)rc);
    return rc == ATTRIB_MNGR_OK;
}

static int expect_value(AttribMngr* mngr, const char* name, uint32_t flags, const char* expected) {
    char value[64];
    int32_t size = (int32_t)sizeof value;
    if (!check(attrib_mngr_get_attrib(mngr, name, value, &size, flags), name)) return 0;
    if (strcmp(value, expected) != 0) {
        fprintf(stderr, "%s is \"%s\", not \"%s\"\n", name, value, expected);
        return 0;
    }
    return 1;
}

int consumer_run(const char* path) {
    AttribMngr* mngr = NULL;
    int ok = check(attrib_mngr_init(path, &mngr), "attrib_mngr_init") &&
             check(attrib_mngr_set_attrib(mngr, "Agent", "ServerMachine", "consumer.host", 0), "set") &&
             check(attrib_mngr_set_attrib(mngr, "Agent", "ServerPassword", "pw", ATTRIB_MNGR_FLAG_SCRAMBLED),
                   "scrambled set") &&
             check(attrib_mngr_save_attribs(mngr), "save");
    delete_attribs_mngr(mngr);
    if (!ok) return 1;

    mngr = NULL;
    ok = check(attrib_mngr_init(path, &mngr), "reopen") &&
         expect_value(mngr, "ServerMachine", 0, "consumer.host") &&
         expect_value(mngr, "ServerPassword", ATTRIB_MNGR_FLAG_SCRAMBLED, "pw") &&
         expect_value(mngr, "TimeOut", 0, "20");
    delete_attribs_mngr(mngr);
    if (!ok) return 1;
    printf("tarnwick %s: %s ok\n", TARNWICK_VERSION_STRING, path);
    return 0;
}
