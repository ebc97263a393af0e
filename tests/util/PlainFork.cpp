// Runs a test program so that the processes it starts are made by a plain fork().
//
// On Linux, QProcess starts a child with clone(CLONE_VM | CLONE_VFORK | CLONE_PIDFD): the
// child runs in the parent's memory until it execs. ThreadSanitizer cannot see that clone,
// and the child's calls overwrite the starting thread's sanitizer state, so that thread's
// locks go unrecorded from then on and every later handoff through a mutex is reported as
// a race. Qt takes that path only when waitid(P_PIDFD) is known to the kernel; this
// launcher installs a seccomp filter that answers that probe with EINVAL, and Qt falls
// back to fork(), which ThreadSanitizer follows. Nothing else is filtered.

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_waitid, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, P_PIDFD, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("seccomp filter");
        return 2;
    }
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
