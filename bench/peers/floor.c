/* The floor of the comparison: copies exactly the trailing bytes of each
 * file, given their offsets, and does nothing else. One process; per file one
 * open, one seek, reads and writes of at most 1 MiB, a new output created
 * exclusively beside the source as NAME.trailer.
 *
 * usage: floor JOBS    (JOBS: lines "OFFSET NAME", e.g. "1249 p0001.png")
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char buf[1 << 20];

static int copy_tail(const char* name, long offset) {
    char out[4096];
    if (snprintf(out, sizeof out, "%s.trailer", name) >= (int)sizeof out) return -1;
    int in = open(name, O_RDONLY);
    if (in < 0) return -1;
    int fd = -1, ok = lseek(in, offset, SEEK_SET) == offset;
    if (ok) fd = open(out, O_WRONLY | O_CREAT | O_EXCL, 0644);
    ok = ok && fd >= 0;
    for (ssize_t n; ok && (n = read(in, buf, sizeof buf)) != 0;) {
        if (n < 0 || write(fd, buf, (size_t)n) != n) ok = 0;
    }
    if (fd >= 0 && close(fd) != 0) ok = 0;
    close(in);
    return ok ? 0 : -1;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: floor JOBS\n", stderr);
        return 2;
    }
    FILE* jobs = fopen(argv[1], "r");
    if (!jobs) {
        perror(argv[1]);
        return 2;
    }
    char line[4200];
    int failed = 0;
    while (fgets(line, sizeof line, jobs)) {
        line[strcspn(line, "\n")] = 0;
        char* name = strchr(line, ' ');
        if (!name) continue;
        *name++ = 0;
        if (copy_tail(name, atol(line)) != 0) {
            fprintf(stderr, "%s: copy failed\n", name);
            failed = 1;
        }
    }
    fclose(jobs);
    return failed;
}
