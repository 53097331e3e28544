/* SPDX-License-Identifier: Apache-2.0 */
int consumer_run(const char* path);

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    return consumer_run(argv[1]);
}
