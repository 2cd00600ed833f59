// Runs a program with ptrace's request for a process's extended register state (NT_X86_XSTATE)
// refused. The user-mode kernel (linux.uml) of scripts/kernel-check.sh then keeps its processes'
// registers in the legacy FXSAVE layout: its own xstate buffer is smaller than the one a host with
// AMX tiles requires, so every restore of it fails with EFAULT and the kernel's init dies.
// Usage: xstate_refusing_exec PROGRAM [ARGUMENTS...]

#include <elf.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    // ptrace(request, pid, addr = NT_X86_XSTATE, data) with request PTRACE_GETREGSET or
    // PTRACE_SETREGSET fails with EIO; every other call passes.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 8),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ptrace, 0, 6),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, NT_X86_XSTATE, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PTRACE_GETREGSET, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PTRACE_SETREGSET, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof(filter) / sizeof(filter[0])), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("seccomp");
        return 126;
    }
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
