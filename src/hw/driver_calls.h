#pragma once

// The operating-system calls through which the program reaches the CAN card driver. By default
// they are the real system calls; the emulated card driver stands in for them in the cards it is
// given to (Cards), so that everything above this seam runs unchanged against it.
class DriverCalls {
  public:
    virtual ~DriverCalls() = default;
    // As access(2), open(2), close(2) and ioctl(2): -1 and errno on failure, except that ioctl
    // returns the driver's error code.
    virtual int Access(const char* path, int mode) = 0;
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
};

// The real system calls.
class SystemDriverCalls : public DriverCalls {
  public:
    int Access(const char* path, int mode) override;
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
};
