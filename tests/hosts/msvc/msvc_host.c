/* SPDX-License-Identifier: Apache-2.0 */
/* A host built the way Visual C++ builds one: Microsoft's C ABI, no C run-time library, linked
 * against the Microsoft-format import library of the installed tree. Only kernel32 is used
 * besides the library, declared here by hand. Exit status 0 when every check holds. */
#include "tarnwick.h"

#define WINAPI __stdcall
typedef void* HANDLE;
__declspec(dllimport) HANDLE WINAPI GetStdHandle(unsigned long which);
__declspec(dllimport) int WINAPI WriteFile(HANDLE file, const void* data, unsigned long size,
                                           unsigned long* written, void* overlapped);
__declspec(dllimport) int WINAPI DeleteFileA(const char* path);
__declspec(dllimport) void WINAPI ExitProcess(unsigned int code);

static int failures = 0;

static int length(const char* s) {
    int n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

static int same(const char* a, const char* b) {
    int i = 0;
    for (; a[i] != '\0' && a[i] == b[i]; ++i) {}
    return a[i] == b[i];
}

static int ends_with(const char* s, const char* tail) {
    int n = length(s), m = length(tail);
    return n >= m && same(s + n - m, tail);
}

static void say(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle((unsigned long)-11), text, (unsigned long)length(text), &written, 0);
}

static void check(int ok, const char* what) {
    if (!ok) {
        say("failed: ");
        say(what);
        say("\r\n");
        ++failures;
    }
}

#define CHECK(cond) check((cond), #cond)

static const char kPath[] = "msvc_host.cfg";
static const char kSecret[] = "s3cret pass";

void __cdecl start(void) {
    AttribMngr* mngr = 0;
    char buffer[512];
    char small[4];
    int32_t size;

    DeleteFileA(kPath);

    /* A new file, filled with the defaults. */
    CHECK(attrib_mngr_init(kPath, &mngr) == ATTRIB_MNGR_OK);
    if (mngr == 0) ExitProcess(1);
    CHECK(same(attrib_mngr_get_filename(mngr), kPath));

    /* The buffer protocol: NULL asks the size, too small says so and leaves the buffer alone. */
    size = 0;
    CHECK(attrib_mngr_get_attrib(mngr, "ChannelType", 0, &size, 0) == ATTRIB_MNGR_BUFFER_TOO_SMALL);
    CHECK(size == 4);
    small[0] = '#';
    size = 3;
    CHECK(attrib_mngr_get_attrib(mngr, "ChannelType", small, &size, 0) == ATTRIB_MNGR_BUFFER_TOO_SMALL);
    CHECK(size == 4 && small[0] == '#');
    size = 4;
    CHECK(attrib_mngr_get_attrib(mngr, "ChannelType", small, &size, 0) == ATTRIB_MNGR_OK);
    CHECK(same(small, "TCP"));
    CHECK(attrib_mngr_get_attrib(mngr, "NoSuchKey", buffer, &size, 0) == ATTRIB_MNGR_NOT_FOUND);

    /* Plain and scrambled values, saved. */
    CHECK(attrib_mngr_set_attrib(mngr, "Agent", "ServerMachine", "server.example", 0) == ATTRIB_MNGR_OK);
    CHECK(attrib_mngr_set_attrib(mngr, "Agent", "ServerPassword", kSecret, ATTRIB_MNGR_FLAG_SCRAMBLED) ==
          ATTRIB_MNGR_OK);
    CHECK(attrib_mngr_save_attribs(mngr) == ATTRIB_MNGR_OK);
    delete_attribs_mngr(mngr);

    /* Opened again: the plain value as set, the scrambled one stored as hex and read in clear. */
    mngr = 0;
    CHECK(attrib_mngr_init(kPath, &mngr) == ATTRIB_MNGR_OK);
    if (mngr == 0) ExitProcess(1);
    size = (int32_t)sizeof buffer;
    CHECK(attrib_mngr_get_attrib(mngr, "ServerMachine", buffer, &size, 0) == ATTRIB_MNGR_OK);
    CHECK(same(buffer, "server.example"));
    size = (int32_t)sizeof buffer;
    CHECK(attrib_mngr_get_attrib(mngr, "ServerPassword", buffer, &size, 0) == ATTRIB_MNGR_OK);
    CHECK(length(buffer) == 8 + 2 * length(kSecret) && !same(buffer, kSecret));
    size = (int32_t)sizeof buffer;
    CHECK(attrib_mngr_get_attrib(mngr, "ServerPassword", buffer, &size, ATTRIB_MNGR_FLAG_SCRAMBLED) ==
          ATTRIB_MNGR_OK);
    CHECK(same(buffer, kSecret));
    delete_attribs_mngr(mngr);
    delete_attribs_mngr(0);
    CHECK(attrib_mngr_get_filename(0) == 0);
    CHECK(attrib_mngr_save_attribs(0) == ATTRIB_MNGR_NULL_HANDLE);

    /* The default location, sized first. */
    size = 0;
    CHECK(attrib_mngr_get_null_filename(0, &size) == ATTRIB_MNGR_BUFFER_TOO_SMALL);
    CHECK(size > 1 && size <= (int32_t)sizeof buffer);
    if (size > 1 && size <= (int32_t)sizeof buffer) {
        CHECK(attrib_mngr_get_null_filename(buffer, &size) == ATTRIB_MNGR_OK);
        CHECK(length(buffer) == size - 1 && ends_with(buffer, "_agent_attribs.cfg"));
    }

    /* Texts of codes: the library's, the store's, one for any other value; never null. */
    CHECK(same(attrib_mngr_error_text(ATTRIB_MNGR_NOT_FOUND), "no section holds the attribute"));
    CHECK(!same(attrib_mngr_error_text(-1010), attrib_mngr_error_text(-1012)));
    CHECK(same(attrib_mngr_error_text(-21), attrib_mngr_error_text(12345)));

    DeleteFileA(kPath);
    if (failures == 0) say("all checks passed\r\n");
    ExitProcess(failures == 0 ? 0 : 1);
}
