#include "platform/command_line.h"
#include "platform/output_keeper.h"
#include "platform/process.h"
#include "platform/run_output.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern "C" {
#include <sys/pidfd.h>
}

extern char** environ;

namespace vektrin {

namespace {

LaunchResult failed(LaunchFailure failure, int errorNumber) {
    LaunchResult result;
    result.failure = failure;
    result.errorNumber = errorNumber;
    return result;
}

LaunchFailure failureForErrno(int error) {
    switch (error) {
    case ENOMEM:
    case EAGAIN:
    case EMFILE:
    case ENFILE:
        return LaunchFailure::NotEnoughResources;
    default:
        return LaunchFailure::Other;
    }
}

std::string parentOf(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return "/";
    std::size_t slash = path.rfind('/', end);
    if (slash == std::string::npos) return ".";
    std::size_t keep = path.find_last_not_of('/', slash);
    return keep == std::string::npos ? "/" : path.substr(0, keep + 1);
}

bool isDirectoryAt(int dirFd, const std::string& path) {
    struct stat st {};
    return fstatat(dirFd, path.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool existsAt(int dirFd, const std::string& path) {
    struct stat st {};
    return fstatat(dirFd, path.c_str(), &st, 0) == 0;
}

struct Resolved {
    std::string path; // what posix_spawn gets; relative paths resolve after the chdir
    LaunchFailure failure = LaunchFailure::None;
    int errorNumber = 0;
};

// A program named with a '/' is taken as it stands, relative to the startup directory.
Resolved checkProgramPath(int dirFd, const std::string& program) {
    struct stat st {};
    if (fstatat(dirFd, program.c_str(), &st, 0) != 0) {
        int error = errno;
        if (error == ENOENT)
            return {{},
                    isDirectoryAt(dirFd, parentOf(program)) ? LaunchFailure::ProgramNotFound
                                                            : LaunchFailure::PathNotFound,
                    error};
        if (error == ENOTDIR) return {{}, LaunchFailure::PathNotFound, error};
        return {{}, failureForErrno(error), error};
    }
    // execve answers EACCES for a directory, which would read as a permission problem.
    if (S_ISDIR(st.st_mode)) return {{}, LaunchFailure::BadExecutableFormat, EISDIR};
    return {program, LaunchFailure::None, 0};
}

// A bare name is searched in PATH like execvp does, but without its fall-back to /bin/sh for
// files that are not executables. Directories are skipped; a match without execute permission
// is remembered so that the failure says "permission" rather than "not found".
Resolved searchPath(int dirFd, const std::string& program) {
    if (program.empty()) return {{}, LaunchFailure::ProgramNotFound, ENOENT};
    std::string searchList;
    if (const char* path = std::getenv("PATH")) {
        searchList = path;
    } else {
        std::size_t size = confstr(_CS_PATH, nullptr, 0);
        searchList.resize(size);
        confstr(_CS_PATH, searchList.data(), size);
        searchList.resize(size > 0 ? size - 1 : 0);
    }
    bool sawNoPermission = false;
    std::size_t start = 0;
    while (start <= searchList.size()) {
        std::size_t end = searchList.find(':', start);
        if (end == std::string::npos) end = searchList.size();
        std::string_view entry(searchList.data() + start, end - start);
        start = end + 1;
        // An empty entry is the current directory, here the startup directory.
        std::string candidate(entry.empty() ? std::string_view(".") : entry);
        if (candidate.back() != '/') candidate += '/';
        candidate += program;
        struct stat st {};
        if (fstatat(dirFd, candidate.c_str(), &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
        if (faccessat(dirFd, candidate.c_str(), X_OK, AT_EACCESS) == 0)
            return {candidate, LaunchFailure::None, 0};
        sawNoPermission = true;
    }
    if (sawNoPermission) return {{}, LaunchFailure::Other, EACCES};
    return {{}, LaunchFailure::ProgramNotFound, ENOENT};
}

LaunchFailure failureForSpawnError(int error, int dirFd, const std::string& path) {
    switch (error) {
    case ENOEXEC:
    case EISDIR:
    case ELIBBAD:
        return LaunchFailure::BadExecutableFormat;
    case ENOENT:
        // The file was there a moment ago: what is missing is its interpreter or loader.
        return existsAt(dirFd, path) ? LaunchFailure::BadExecutableFormat
                                     : LaunchFailure::ProgramNotFound;
    case ENOTDIR:
        return LaunchFailure::PathNotFound;
    default:
        return failureForErrno(error);
    }
}

// Nice applies per thread on Linux; the process group reaches every thread and any child the
// task already started.
bool setNice(pid_t pid, int value) {
    return setpriority(PRIO_PGRP, pid, value) == 0;
}

// The lowest nice value this process may set, from RLIMIT_NICE (ceiling = 20 - limit).
int lowestAllowedNice() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -20;
    long lowest = 20 - static_cast<long>(limit.rlim_cur);
    return lowest < -20 ? -20 : lowest > 19 ? 19 : static_cast<int>(lowest);
}

void setHighPriority(pid_t pid) {
    if (setNice(pid, -10)) return;
    // Without CAP_SYS_NICE the strongest allowed is what RLIMIT_NICE grants, if anything.
    int lowest = lowestAllowedNice();
    if (lowest > -10 && lowest < getpriority(PRIO_PROCESS, 0)) setNice(pid, lowest);
}

void applyPriority(pid_t pid, int priority) {
    struct sched_param param {};
    switch (priority) {
    case 1:
        setNice(pid, 19);
        sched_setscheduler(pid, SCHED_IDLE, &param);
        break;
    case 2:
        setHighPriority(pid);
        break;
    case 3:
        param.sched_priority = 1;
        if (sched_setscheduler(pid, SCHED_FIFO, &param) != 0)
            setHighPriority(pid); // no real-time privilege: the next strongest class
        break;
    default:
        // Normal: undo a nice value or policy the scheduler itself may run with.
        if (getpriority(PRIO_PROCESS, 0) != 0) setNice(pid, 0);
        if (sched_getscheduler(0) != SCHED_OTHER) sched_setscheduler(pid, SCHED_OTHER, &param);
        break;
    }
}

class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Returns 0 or the errno of the step that could not be prepared. outputFd, when not -1, is
    // the pipe to the run file's keeper that both output streams share (so their order is kept).
    int prepare(int dirFd, int outputFd) {
        int error = 0;
        if (dirFd != AT_FDCWD) error = posix_spawn_file_actions_addfchdir_np(&actions, dirFd);
        if (!error) error = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (outputFd >= 0) {
            if (!error) error = posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
            if (!error) error = posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
        } else {
            if (!error)
                error = posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            if (!error)
                error = posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        // Whatever a library opened without O_CLOEXEC must not reach the task either.
        if (!error) error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        // A task starts clean: no blocked signals, no ignored ones (SIGPIPE, SIGCHLD, ...).
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        if (!error) error = posix_spawnattr_setsigmask(&attributes, &none);
        if (!error) error = posix_spawnattr_setsigdefault(&attributes, &all);
        if (!error)
            error = posix_spawnattr_setflags(
                &attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        return error;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// Handle 0 means "no process" to the caller: keep clear of the standard descriptors, which a
// scheduler started with them closed would hand out first.
int awayFromStandardStreams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

// Waits for the process behind a pidfd and then closes it, off the caller's thread.
void reapInBackground(int fd) {
    std::thread([fd] {
        siginfo_t info{};
        while (waitid(P_PIDFD, static_cast<id_t>(fd), &info, WEXITED) != 0 && errno == EINTR) {
        }
        ::close(fd);
    }).detach();
}

// The state and session of a process from /proc/<pid>/stat (fields 3 and 6, after the command
// name, which may itself hold blanks and parentheses). False when it is gone.
bool readStat(const char* pid, char& state, long& session) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    char buffer[1024];
    ssize_t n;
    while ((n = read(fd.get(), buffer, sizeof buffer - 1)) < 0 && errno == EINTR) {
    }
    if (n <= 0) return false;
    buffer[n] = '\0';
    const char* end = std::strrchr(buffer, ')');
    if (!end) return false;
    long ppid = 0;
    long group = 0;
    return std::sscanf(end + 1, " %c %ld %ld %ld", &state, &ppid, &group, &session) == 4;
}

// SIGKILL to every live process of the session that has not had one yet; how many got one.
std::size_t killNewSessionMembers(pid_t session, std::unordered_set<pid_t>& signalled) {
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    std::size_t killed = 0;
    while (const dirent* entry = readdir(proc)) {
        const char* name = entry->d_name;
        if (*name < '1' || *name > '9') continue;
        char state = 0;
        long sid = 0;
        if (!readStat(name, state, sid) || sid != session || state == 'Z' || state == 'X') continue;
        const auto pid = static_cast<pid_t>(std::strtol(name, nullptr, 10));
        if (!signalled.insert(pid).second) continue;
        kill(pid, SIGKILL);
        ++killed;
    }
    closedir(proc);
    return killed;
}

// A task leads its own session, so the session id is its pid, and every descendant that did not
// start a session of its own still carries it, whichever process group it moved to (timeout,
// setpgrp) and whoever its parent now is. A process may fork while the others are killed, so the
// scan repeats until it finds no one new; the bound keeps a fork loop from holding us here.
void killSession(pid_t session) {
    constexpr int MaxScans = 16;
    std::unordered_set<pid_t> signalled;
    for (int scan = 0; scan < MaxScans; ++scan)
        if (killNewSessionMembers(session, signalled) == 0) return;
}

// ------------------------------------------------------------------ the run file's keeper

// The keeper's buffers. Only the forked keeper touches them: they cost the scheduler no memory.
alignas(4096) char keeperBuffer[std::size_t{1} << 20];
alignas(4096) char keeperMove[std::size_t{1} << 16];
// The pipe between a task and its keeper: room for what a fast writer prints while the keeper
// waits for its turn on a processor, so that the keeper takes it in large reads.
constexpr int PipeSize = 1 << 20;

void closeFrom(int first) noexcept {
    if (::close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return;
    struct rlimit limit {};
    const rlim_t last =
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (rlim_t fd = static_cast<rlim_t>(first); fd < last; ++fd)
        ::close(static_cast<int>(fd));
}

// The child of a multi-threaded program: async-signal-safe calls only, until _exit. It leaves the
// scheduler's session, so that neither a signal to the scheduler's nor the end of the task's
// session takes it down in the middle of a cut, and keeps no descriptor but its two: the
// scheduler's locked files (protocol, tables) must not outlive it. Its exit status is 0 or the
// errno of the first write the file refused.
[[noreturn]] void becomeKeeper(int in, int file, std::uint64_t maxBytes) noexcept {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &standard, nullptr);
    ::setsid();
    ::prctl(PR_SET_NAME, "vektrin-output", 0, 0, 0);
    if (::dup2(in, 0) != 0 || ::dup2(file, 1) != 1) ::_exit(EBADF);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null > 2) ::dup2(null, 2);
    closeFrom(3);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int error = keepRunFile(0, 1, maxBytes, keeperBuffer, sizeof keeperBuffer, keeperMove,
                                  sizeof keeperMove);
    ::_exit(error >= 0 && error < 128 ? error : EIO);
}

// A fork without exec: nothing to find at run time, and no allocation in the child.
pid_t forkKeeper(int in, int file, std::uint64_t maxBytes) {
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    // No handler of the scheduler's may run in the child before the defaults are back.
    pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t pid = ::_Fork();
    if (pid == 0) becomeKeeper(in, file, maxBytes);
    const int error = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return pid;
}

struct Keeper {
    UniqueFd output; // the pipe's end for the task
    UniqueFd handle; // the keeper's pidfd
    pid_t pid = 0;
    int error = 0;
};

// The run file opened here, not in the child: a file that cannot be opened or a keeper that
// cannot be started leaves the task with /dev/null instead of failing its launch.
void startKeeper(const LaunchRequest& request, Keeper& keeper) {
    UniqueFd file(awayFromStandardStreams(
        open(request.outputPath.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)));
    struct stat st {};
    if (file.get() < 0 || fstat(file.get(), &st) != 0) {
        keeper.error = errno;
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        keeper.error = EINVAL;
        return;
    }
    // Taken before the fork, on the open file the keeper inherits: held for exactly as long as
    // the keeper lives, however the scheduler ends.
    holdRunFile(file.get());
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        keeper.error = errno;
        return;
    }
    UniqueFd in(ends[0]);
    UniqueFd out(ends[1]);
    in.reset(awayFromStandardStreams(in.release()));
    out.reset(awayFromStandardStreams(out.release()));
    if (in.get() < 0 || out.get() < 0) {
        keeper.error = errno;
        return;
    }
    fcntl(out.get(), F_SETPIPE_SZ, PipeSize);
    const pid_t pid = forkKeeper(in.get(), file.get(), request.outputMaxBytes);
    if (pid < 0) {
        keeper.error = errno;
        return;
    }
    const int handle = awayFromStandardStreams(pidfd_open(pid, 0));
    if (handle < 0) {
        keeper.error = errno;
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return;
    }
    // A task of low priority does not get a keeper that competes with everything else.
    if (request.priority == 1) {
        struct sched_param param {};
        setpriority(PRIO_PROCESS, static_cast<id_t>(pid), 19);
        sched_setscheduler(pid, SCHED_IDLE, &param);
    }
    keeper.handle.reset(handle);
    keeper.pid = pid;
    keeper.output.reset(out.release());
}

class PosixProcessControl final : public ProcessControl {
  public:
    ~PosixProcessControl() override {
        std::vector<int> open(owned_.begin(), owned_.end());
        for (int fd : open)
            close(fd);
        sweep();
    }

    LaunchResult launch(const LaunchRequest& request) override;
    ExitQuery queryExit(const ProcessInfo& process) override;
    void terminate(const ProcessInfo& process) override;
    void close(const ProcessInfo& process) override;

  private:
    enum class Reap { Running, Reaped, Failed };
    Reap tryReap(int fd);
    int ownedFd(const ProcessInfo& process) const;
    void close(int fd);
    void sweep();

    // Every pidfd handed out and not yet closed: a stale or repeated handle is never mistaken for
    // a descriptor that was reused for something else.
    std::unordered_set<int> owned_;
    // Exit statuses of reaped processes whose handles are still open.
    std::unordered_map<int, std::int32_t> ended_;
    // Closed handles of processes still running, when no reaper thread could be started.
    std::vector<int> unreaped_;
};

LaunchResult PosixProcessControl::launch(const LaunchRequest& request) {
    sweep();
    SplitCommandLine split = splitCommandLine(request.commandLine);
    if (split.unclosedQuote) return failed(LaunchFailure::Other, EINVAL);
    if (split.arguments.empty()) return failed(LaunchFailure::ProgramNotFound, ENOENT);

    // The directory is opened once and the child changes into that very directory, so the
    // checks below and the launch cannot see two different places.
    UniqueFd directory;
    int dirFd = AT_FDCWD;
    if (!request.directory.empty()) {
        int fd = open(request.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            int error = errno;
            LaunchFailure failure = failureForErrno(error);
            return failed(failure == LaunchFailure::Other ? LaunchFailure::BadStartupDirectory
                                                          : failure,
                          error);
        }
        directory.reset(fd);
        dirFd = fd;
        if (faccessat(dirFd, ".", X_OK, AT_EACCESS) != 0)
            return failed(LaunchFailure::BadStartupDirectory, errno);
    }

    const std::string& program = split.arguments.front();
    Resolved resolved = program.find('/') == std::string::npos ? searchPath(dirFd, program)
                                                               : checkProgramPath(dirFd, program);
    if (resolved.failure != LaunchFailure::None)
        return failed(resolved.failure, resolved.errorNumber);

    // The task writes into a pipe that the keeper drains into the run file.
    Keeper keeper;
    if (!request.outputPath.empty()) startKeeper(request, keeper);

    // Whatever happens to the launch, the keeper is not left behind unreaped: without the task
    // it finds its pipe closed at once and ends.
    struct KeeperGuard {
        PosixProcessControl& control;
        Keeper& keeper;
        ~KeeperGuard() {
            keeper.output.reset(-1);
            if (keeper.handle.get() < 0) return;
            control.owned_.insert(keeper.handle.get());
            control.close(keeper.handle.release());
        }
    } keeperGuard{*this, keeper};

    SpawnSetup setup;
    if (int error = setup.prepare(dirFd, keeper.output.get()))
        return failed(failureForErrno(error), error);

    std::vector<char*> argv;
    argv.reserve(split.arguments.size() + 1);
    for (std::string& argument : split.arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int error = posix_spawn(&pid, resolved.path.c_str(), &setup.actions, &setup.attributes,
                            argv.data(), environ);
    if (error != 0) return failed(failureForSpawnError(error, dirFd, resolved.path), error);

    int fd = pidfd_open(pid, 0);
    // A task that ended at once may already have been collected by the time its pidfd is asked
    // for (SIGCHLD ignored, a stray waitpid(-1)). It did run; its handle is a stand-in that
    // reports the end with an unknown status.
    bool alreadyCollected = fd < 0 && errno == ESRCH;
    if (alreadyCollected) fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    fd = awayFromStandardStreams(fd);
    if (fd < 0) {
        error = errno;
        if (!alreadyCollected) {
            killpg(pid, SIGKILL);
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        return failed(failureForErrno(error), error);
    }
    if (alreadyCollected)
        ended_[fd] = -1;
    else
        applyPriority(pid, request.priority);

    owned_.insert(fd);
    LaunchResult result;
    result.outputError = keeper.error;
    if (keeper.handle.get() >= 0) {
        const int handle = keeper.handle.release();
        owned_.insert(handle);
        result.keeper = {handle, 0, static_cast<std::uint32_t>(keeper.pid),
                         static_cast<std::uint32_t>(keeper.pid)};
    }
    result.info.processHandle = fd;
    result.info.threadHandle = 0; // a pidfd stands for the whole process; there is nothing else
    result.info.processId = static_cast<std::uint32_t>(pid);
    result.info.threadId = static_cast<std::uint32_t>(pid);
    return result;
}

int PosixProcessControl::ownedFd(const ProcessInfo& process) const {
    int fd = static_cast<int>(process.processHandle);
    return process.processHandle > 0 && owned_.count(fd) ? fd : -1;
}

PosixProcessControl::Reap PosixProcessControl::tryReap(int fd) {
    if (ended_.count(fd)) return Reap::Reaped;
    siginfo_t info{};
    int rc;
    while ((rc = waitid(P_PIDFD, static_cast<id_t>(fd), &info, WEXITED | WNOHANG)) != 0 &&
           errno == EINTR) {
    }
    if (rc == 0) {
        if (info.si_pid == 0) return Reap::Running;
        ended_[fd] = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return Reap::Reaped;
    }
    if (errno == ECHILD) {
        // Someone else collected it (SIGCHLD ignored, a stray waitpid(-1)): it has ended, but its
        // status is lost. Reporting it ended frees the slot instead of keeping it forever.
        ended_[fd] = -1;
        return Reap::Reaped;
    }
    return Reap::Failed;
}

ExitQuery PosixProcessControl::queryExit(const ProcessInfo& process) {
    sweep();
    ExitQuery answer;
    int fd = ownedFd(process);
    if (fd < 0) return answer;
    switch (tryReap(fd)) {
    case Reap::Running:
        answer.state = ExitState::Running;
        break;
    case Reap::Reaped:
        answer.state = ExitState::Exited;
        answer.status = ended_[fd];
        break;
    case Reap::Failed:
        break;
    }
    return answer;
}

void PosixProcessControl::terminate(const ProcessInfo& process) {
    int fd = ownedFd(process);
    // Once reaped, the leader's pid may belong to someone else: never signal it then. Until we
    // reap it, even dead, it keeps its pid, its group's and its session's ids from being reused.
    if (fd < 0 || ended_.count(fd)) return;
    const auto pid = static_cast<pid_t>(process.processId);
    pidfd_send_signal(fd, SIGKILL, nullptr, 0);
    killpg(pid, SIGKILL);
    killSession(pid);
    tryReap(fd);
}

void PosixProcessControl::close(const ProcessInfo& process) {
    int fd = ownedFd(process);
    if (fd >= 0) close(fd);
}

void PosixProcessControl::close(int fd) {
    owned_.erase(fd);
    if (tryReap(fd) == Reap::Running) {
        try {
            reapInBackground(fd);
        } catch (const std::exception&) {
            unreaped_.push_back(fd); // no thread to spare: collected by a later call instead
        }
        return;
    }
    ended_.erase(fd);
    ::close(fd);
}

void PosixProcessControl::sweep() {
    for (std::size_t i = 0; i < unreaped_.size();) {
        int fd = unreaped_[i];
        if (tryReap(fd) == Reap::Running) {
            ++i;
            continue;
        }
        ended_.erase(fd);
        ::close(fd);
        unreaped_[i] = unreaped_.back();
        unreaped_.pop_back();
    }
}

} // namespace

std::unique_ptr<ProcessControl> makePosixProcessControl() {
    return std::make_unique<PosixProcessControl>();
}

} // namespace vektrin
