// Compares fvcheck, run as a whole process on a picture for a box, with djpeg decoding the same
// file at the same reduction (-scale 1/N -dct int), measured in the same run: what a viewer
// waits for, start-up, page faults and the fit included.
//   process_bench [--reps N] picture.jpg...     (pictures: scripts/make-bench-pictures.sh)
// Times are medians of the child's CPU time (user and system); runs of the two alternate.
// FVCHECK in the environment names another fvcheck to measure, such as an older build.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "bench_common.h"

extern char** environ;

namespace {

struct Run {
    double cpuMs = -1;
    double faults = 0;  // minor page faults
};

// Runs the program with its output to /dev/null and returns what it cost.
Run Measure(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    Run run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
            WEXITSTATUS(status) == 0) {
            run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
            run.faults = static_cast<double>(usage.ru_minflt);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 0;
    const int first = ReadBenchArguments(argc, argv, "process_bench", &reps);
    if (first == 0) {
        return 2;
    }
    const int32_t boxes[][2] = {{1920, 1080}, {3840, 2160}};
    const char* fvcheckPath =
        std::getenv("FVCHECK") != nullptr ? std::getenv("FVCHECK") : FV_FVCHECK;
    std::printf("| picture | box | N | djpeg ms | faults | fvcheck ms | faults | ratio |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (int i = first; i < argc; ++i) {
        for (const auto& box : boxes) {
            const int32_t n = BenchReduction(argv[i], box[0], box[1]);
            const std::string boxArg = std::to_string(box[0]) + "x" + std::to_string(box[1]);
            const std::vector<std::string> djpeg = {FV_DJPEG,    "-scale", "1/" + std::to_string(n),
                                                    "-dct",      "int",    "-outfile",
                                                    "/dev/null", argv[i]};
            const std::vector<std::string> fvcheck = {fvcheckPath, "--box", boxArg, argv[i]};
            Measure(djpeg);  // warm the file cache
            std::vector<double> plain, plainFaults, ours, ourFaults;
            for (int r = 0; r < reps; ++r) {
                const Run a = Measure(djpeg);
                const Run b = Measure(fvcheck);
                plain.push_back(a.cpuMs);
                plainFaults.push_back(a.faults);
                ours.push_back(b.cpuMs);
                ourFaults.push_back(b.faults);
            }
            const bool failed = n == 0 || Median(plain) < 0 || Median(ours) < 0;
            failures += failed ? 1 : 0;
            std::printf("| %s | %s | %d | %.1f | %.0f | %.1f | %.0f | %.2f |%s\n",
                        PictureName(argv[i]).c_str(), boxArg.c_str(), n, Median(plain),
                        Median(plainFaults), Median(ours), Median(ourFaults),
                        Median(ours) / Median(plain), failed ? " FAILED" : "");
            std::fflush(stdout);
        }
    }
    return failures == 0 ? 0 : 1;
}
