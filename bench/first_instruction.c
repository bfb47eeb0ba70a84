/* Records the monotonic clock at its first instruction into the file named by its argument. */
#include <stdio.h>
#include <time.h>

int main(int argc, char** argv) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    if (argc < 2) return 1;
    FILE* f = fopen(argv[1], "w");
    if (!f) return 1;
    fprintf(f, "%lld\n", (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
    return fclose(f) == 0 ? 0 : 1;
}
