#include "image/decoders/decode_jail.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <malloc.h>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// A real photo of 48 MP decodes within several hundred megabytes and a second or two here;
// the limits leave room for a machine three times slower and stop only what no photo needs.
// Once a decoder knows what it is to decode, the memory shrinks to what that size needs: a
// small picture whose data asks the library for huge tables fails at once.
constexpr rlim_t DecodeAddressBudget = rlim_t{3} << 29;
constexpr rlim_t DecodeBaseBytes = rlim_t{96} << 20;
constexpr rlim_t DecodeBytesPerPixel = 24;
constexpr rlim_t DecodeCpuSeconds = 30;

rlim_t g_inheritedBytes = 0;  // nonzero in the decoding process only
rlim_t g_addressLimit = 0;

#if defined(__x86_64__)
constexpr uint32_t FilterArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t FilterArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t FilterArch = 0;  // no filter where its numbers were never checked
#endif

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSpaceLimited = false;  // the sanitizer reserves terabytes of shadow
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSpaceLimited = false;
#else
constexpr bool AddressSpaceLimited = true;
#endif
#else
constexpr bool AddressSpaceLimited = true;
#endif

void CloseOthers(const int* keptFds, int keptCount) {
    std::vector<unsigned> kept(keptFds, keptFds + keptCount);
    std::sort(kept.begin(), kept.end());
    unsigned from = 0;
    for (unsigned fd : kept) {
        if (fd > from) {
            if (close_range(from, fd - 1, 0) != 0) {
                for (unsigned f = from; f < fd; ++f) {
                    close(static_cast<int>(f));
                }
            }
        }
        from = fd + 1;
    }
    if (close_range(from, ~0u, 0) != 0) {
        const long open = std::min(sysconf(_SC_OPEN_MAX), 65536L);
        for (long f = from; f < open; ++f) {
            close(static_cast<int>(f));
        }
    }
}

// Pages of address space the child holds now, inherited from the show.
rlim_t MappedBytes() {
    FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

void LowerLimit(int resource, rlim_t soft, rlim_t hard) {
    struct rlimit now;
    if (getrlimit(resource, &now) == 0) {
        struct rlimit lower = {std::min(soft, now.rlim_cur), std::min(hard, now.rlim_max)};
        setrlimit(resource, &lower);
    }
}

class FilterProgram {
  public:
    void Statement(uint16_t code, uint32_t k) { code_.push_back(BPF_STMT(code, k)); }
    void LoadNumber() { Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)); }
    void LoadLowArgument(int n) {
        Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 8 * n);
    }
    void Jump(uint16_t code, uint32_t k, uint8_t ifTrue, uint8_t ifFalse) {
        code_.push_back(BPF_JUMP(code, k, ifTrue, ifFalse));
    }
    void Allow(long nr) {
        code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
        Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    }
    void Refuse(long nr, int error) {
        code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
        Statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(error));
    }
    // nr is allowed when its argument n has the given value (or, with mask, has every bit of
    // value), and refused otherwise.
    void AllowWithArgument(long nr, int n, uint32_t value, bool mask) {
        code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 4));
        LoadLowArgument(n);
        code_.push_back(BPF_JUMP(BPF_JMP | (mask ? BPF_JSET : BPF_JEQ) | BPF_K, value, 0, 1));
        Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
        Statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);
    }
    bool Install() {
        sock_fprog program = {static_cast<unsigned short>(code_.size()), code_.data()};
        return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
               prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
    }

  private:
    std::vector<sock_filter> code_;
};

bool InstallFilter(int socket) {
    if (FilterArch == 0) {
        return false;
    }
    const uint32_t self = static_cast<uint32_t>(getpid());
    FilterProgram f;
    f.Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    f.Jump(BPF_JMP | BPF_JEQ | BPF_K, FilterArch, 1, 0);
    f.Statement(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
    f.LoadNumber();
#if defined(__x86_64__)
    // The x32 calls share the architecture and would bypass every rule below.
    f.Jump(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1);
    f.Statement(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
#endif
    static const long Allowed[] = {
        SYS_read,
        SYS_pread64,
        SYS_readv,
        SYS_lseek,
        SYS_close,
        SYS_mmap,
        SYS_munmap,
        SYS_mremap,
        SYS_mprotect,
        SYS_brk,
        SYS_madvise,
        SYS_futex,
        SYS_exit,
        SYS_exit_group,
        SYS_rt_sigreturn,
        SYS_rt_sigprocmask,
        SYS_rt_sigaction,
        SYS_sigaltstack,
        SYS_getpid,
        SYS_gettid,
        SYS_clock_gettime,
        SYS_clock_nanosleep,
        SYS_nanosleep,
        SYS_sched_yield,
        SYS_sched_getaffinity,
        SYS_set_robust_list,
        SYS_getrandom,
        SYS_getrusage,
        SYS_fcntl,
        SYS_prlimit64,
        SYS_getppid,
#ifdef SYS_rseq
        SYS_rseq,
#endif
    };
    for (long nr : Allowed) {
        f.Allow(nr);
    }
    // Requests and answers on the socket only, messages to standard error only, threads but no
    // new processes, signals to itself only.
    f.AllowWithArgument(SYS_recvmsg, 0, static_cast<uint32_t>(socket), false);
    f.AllowWithArgument(SYS_sendto, 0, static_cast<uint32_t>(socket), false);
    f.AllowWithArgument(SYS_write, 0, 2, false);
    f.AllowWithArgument(SYS_writev, 0, 2, false);
    f.AllowWithArgument(SYS_clone, 0, CLONE_THREAD, true);
#ifdef SYS_clone3
    f.Refuse(SYS_clone3, ENOSYS);  // its flags cannot be seen: the C library falls back to clone
#endif
    f.AllowWithArgument(SYS_tgkill, 0, self, false);
    f.AllowWithArgument(SYS_kill, 0, self, false);
    f.Statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);
    return f.Install();
}

}  // namespace

bool LockDownDecoder(int socket) {
    const rlim_t mapped = MappedBytes();
    const int kept[] = {STDERR_FILENO, socket};
    CloseOthers(kept, 2);
    // A crash is an answer, not a file in the user's folder; nor may anyone attach to it.
    LowerLimit(RLIMIT_CORE, 0, 0);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    LowerLimit(RLIMIT_NOFILE, 64, 64);
    if (AddressSpaceLimited && mapped > 0) {
        g_inheritedBytes = mapped;
        g_addressLimit = mapped + DecodeAddressBudget;
        LowerLimit(RLIMIT_AS, g_addressLimit, g_addressLimit);
    }
    // The library's threads share one heap rather than reserving one each.
    mallopt(M_ARENA_MAX, 1);
    return InstallFilter(socket);
}

void BeginPictureLimits() {
    rusage used;
    if (getrusage(RUSAGE_SELF, &used) == 0) {
        const rlim_t seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec);
        struct rlimit cpu;
        if (getrlimit(RLIMIT_CPU, &cpu) == 0) {
            cpu.rlim_cur = std::min(seconds + 1 + DecodeCpuSeconds, cpu.rlim_max);
            setrlimit(RLIMIT_CPU, &cpu);
        }
    }
}

void EndPictureLimits() {
    if (g_addressLimit != 0) {
        struct rlimit whole = {g_addressLimit, g_addressLimit};
        setrlimit(RLIMIT_AS, &whole);
    }
}

void LimitDecodeMemory(uint64_t pixels, uint64_t fileBytes) {
    if (g_addressLimit == 0) {
        return;
    }
    const rlim_t perPixel = pixels < DecodeAddressBudget / DecodeBytesPerPixel
                                ? static_cast<rlim_t>(pixels) * DecodeBytesPerPixel
                                : DecodeAddressBudget;
    const rlim_t buffers = std::min(static_cast<rlim_t>(fileBytes), DecodeAddressBudget);
    const rlim_t budget = std::min(DecodeBaseBytes + perPixel + buffers, DecodeAddressBudget);
    // What the heap keeps from earlier pictures is not this one's.
    const struct mallinfo2 heap = mallinfo2();
    const rlim_t kept = static_cast<rlim_t>(heap.arena) + static_cast<rlim_t>(heap.hblkhd);
    const rlim_t limit = std::min(g_inheritedBytes + kept + budget, g_addressLimit);
    struct rlimit lower = {limit, g_addressLimit};
    setrlimit(RLIMIT_AS, &lower);
}
