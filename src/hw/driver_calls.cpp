#include "hw/driver_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int SystemDriverCalls::Access(const char* path, int mode) {
    return access(path, mode);
}

int SystemDriverCalls::Open(const char* path, int flags) {
    return open(path, flags);
}

int SystemDriverCalls::Close(int fd) {
    return close(fd);
}

int SystemDriverCalls::Ioctl(int fd, unsigned long request, void* arg) {
    return ioctl(fd, request, arg);
}
