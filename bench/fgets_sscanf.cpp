// The plain way to read a Quillon log: fgets and sscanf line by line. The replay's baseline.
//
//   fgets_sscanf FILE   prints the number of frame lines read

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fgets_sscanf FILE\n");
        return 2;
    }
    FILE* fp = std::fopen(argv[1], "r");
    if (!fp) {
        std::perror(argv[1]);
        return 1;
    }
    char line[1000];
    long frames = 0;
    unsigned long checksum = 0;
    while (std::fgets(line, sizeof line, fp)) {
        unsigned timestamp, id, b[8];
        int port;
        char kind[8];
        const int n =
            std::sscanf(line, "%u %3[A-Z]%d: %x - %x %x %x %x %x %x %x %x", &timestamp, kind, &port,
                        &id, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]);
        if (n < 4) continue;
        frames++;
        checksum += timestamp + id;
        for (int i = 0; i < n - 4; i++) checksum += b[i];
    }
    std::fclose(fp);
    std::printf("%ld frames (checksum %lu)\n", frames, checksum);
    return 0;
}
