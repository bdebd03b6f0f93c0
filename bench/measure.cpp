// measure: runs one command and prints its wall time in seconds, its peak
// resident memory in KiB and its exit status, as "seconds kib status".
// The command reads /dev/null and writes its standard output and standard
// error to the two given files.
//
//   measure <stdout-file> <stderr-file> <command> [arguments...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

bool redirect(const char* path, int fd, int flags) {
    const int f = ::open(path, flags, 0666);
    if (f < 0) return false;
    const bool ok = ::dup2(f, fd) >= 0;
    ::close(f);
    return ok;
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: measure <stdout-file> <stderr-file> <command> [arguments...]\n");
        return 2;
    }
    const double start = now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("measure: fork");
        return 1;
    }
    if (pid == 0) {
        constexpr int kOut = O_WRONLY | O_CREAT | O_TRUNC;
        if (!redirect("/dev/null", 0, O_RDONLY) || !redirect(argv[1], 1, kOut) || !redirect(argv[2], 2, kOut))
            _exit(126);
        ::execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (::wait4(pid, &status, 0, &ru) != pid) {
        std::perror("measure: wait4");
        return 1;
    }
    const double wall = now() - start;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("%.4f %ld %d\n", wall, ru.ru_maxrss, code);
    return 0;
}
