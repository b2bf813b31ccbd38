/* tessaly-bench-copy IN OUT: the floor for a load and save, reading the whole file into memory
   and writing it out again. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: tessaly-bench-copy IN OUT\n");
        return 2;
    }
    int in = open(argv[1], O_RDONLY);
    struct stat st;
    if (in < 0 || fstat(in, &st) != 0) {
        perror(argv[1]);
        return 1;
    }
    size_t size = (size_t)st.st_size;
    char *buffer = malloc(size ? size : 1);
    size_t done = 0;
    while (buffer && done < size) {
        ssize_t n = read(in, buffer + done, size - done);
        if (n <= 0) {
            perror(argv[1]);
            return 1;
        }
        done += (size_t)n;
    }
    close(in);
    int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        perror(argv[2]);
        return 1;
    }
    for (size_t at = 0; at < size;) {
        ssize_t n = write(out, buffer + at, size - at);
        if (n <= 0) {
            perror(argv[2]);
            return 1;
        }
        at += (size_t)n;
    }
    if (close(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    free(buffer);
    return 0;
}
