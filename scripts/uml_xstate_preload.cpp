// Preloaded into the user-mode Linux kernel (linux.uml) of scripts/kernel-check.sh.
// That kernel keeps each process's extended register state (XSAVE layout) in a buffer sized for
// x87, SSE and AVX. A host whose CPU has AMX tiles accepts PTRACE_SETREGSET of that state only
// with a buffer of its full size, so every restore fails with EFAULT and the kernel's init dies.
// This wrapper of ptrace() reads and writes the state through a buffer of the host's size: a read
// hands the kernel the part its buffer holds; a write sends that part with every later component
// marked as in its initial state (the kernel never saved them). Processes inside therefore must
// not use AVX-512 registers; scripts/kernel-check.sh tells the C library so.
// Every other request passes unchanged.

#include <cpuid.h>
#include <dlfcn.h>
#include <elf.h>
#include <sys/ptrace.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>

namespace {

using PtraceFunction = long (*)(enum __ptrace_request, pid_t, void*, void*);

constexpr std::size_t kLargestState = 64 * 1024;  // the host reports its own size on a read
constexpr std::size_t kHeaderOffset = 512;        // XSAVE header: xstate_bv, then xcomp_bv
constexpr unsigned kFirstExtendedComponent = 2;   // 0 x87 and 1 SSE live in the legacy area
constexpr unsigned kComponentCount = 64;
constexpr unsigned kXsaveLeaf = 0xd;

PtraceFunction NextPtrace() {
    return reinterpret_cast<PtraceFunction>(dlsym(RTLD_NEXT, "ptrace"));
}

// The components an XSAVE image of `length` bytes holds whole, by CPUID's standard offsets.
std::uint64_t ComponentsWithin(std::size_t length) {
    std::uint64_t held = 0x3;
    for (unsigned component = kFirstExtendedComponent; component < kComponentCount; ++component) {
        unsigned size = 0, offset = 0, ecx = 0, edx = 0;
        if (__get_cpuid_count(kXsaveLeaf, component, &size, &offset, &ecx, &edx) == 0) break;
        if (size != 0 && offset + size <= length) held |= std::uint64_t{1} << component;
    }
    return held;
}

// The host's size of the state, learnt from the first read (the kernel reads before it writes).
// State of the wrapper itself, which has no object to keep it in; only the kernel's tracing
// thread calls ptrace.
std::size_t hostSize = 0;

long ReadState(PtraceFunction next, pid_t pid, iovec* wanted) {
    alignas(64) static unsigned char full[kLargestState];
    iovec whole{full, sizeof full};
    long result = next(PTRACE_GETREGSET, pid, reinterpret_cast<void*>(NT_X86_XSTATE), &whole);
    if (result < 0) return result;
    hostSize = whole.iov_len;
    const std::size_t length = whole.iov_len < wanted->iov_len ? whole.iov_len : wanted->iov_len;
    std::memcpy(wanted->iov_base, full, length);
    wanted->iov_len = length;
    return result;
}

long WriteState(PtraceFunction next, pid_t pid, const iovec* given) {
    alignas(64) static unsigned char full[kLargestState];
    if (given->iov_len < kHeaderOffset + sizeof(std::uint64_t) || given->iov_len >= hostSize) {
        return next(PTRACE_SETREGSET, pid, reinterpret_cast<void*>(NT_X86_XSTATE),
                    const_cast<iovec*>(given));
    }
    // CPUID is slow where the host is itself a virtual machine: asked once.
    static const std::uint64_t held = ComponentsWithin(given->iov_len);
    iovec whole{full, hostSize};
    std::memcpy(full, given->iov_base, given->iov_len);
    std::memset(full + given->iov_len, 0, hostSize - given->iov_len);
    std::uint64_t present = 0;
    std::memcpy(&present, full + kHeaderOffset, sizeof present);
    present &= held;
    std::memcpy(full + kHeaderOffset, &present, sizeof present);
    return next(PTRACE_SETREGSET, pid, reinterpret_cast<void*>(NT_X86_XSTATE), &whole);
}

}  // namespace

extern "C" long ptrace(enum __ptrace_request request, ...) {
    va_list arguments;
    va_start(arguments, request);
    const pid_t pid = va_arg(arguments, pid_t);
    void* address = va_arg(arguments, void*);
    void* data = va_arg(arguments, void*);
    va_end(arguments);
    static const PtraceFunction next = NextPtrace();
    if (next == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (reinterpret_cast<std::uintptr_t>(address) == NT_X86_XSTATE && data != nullptr) {
        if (request == PTRACE_GETREGSET) return ReadState(next, pid, static_cast<iovec*>(data));
        if (request == PTRACE_SETREGSET)
            return WriteState(next, pid, static_cast<const iovec*>(data));
    }
    return next(request, pid, address, data);
}
