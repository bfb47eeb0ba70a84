#include "support/run_program.h"

#include "support/temp_dir.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vektrin::test {

pid_t startProgram(const std::string& binary, const std::vector<std::string>& args,
                   std::vector<std::string> environment, const ProgramPlaces& places) {
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!places.directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, places.directory.c_str());
    if (!places.in.empty())
        posix_spawn_file_actions_addopen(&actions, 0, places.in.c_str(), O_RDONLY, 0);
    int fd = 1;
    for (const std::string* path : {&places.out, &places.err}) {
        if (!path->empty())
            posix_spawn_file_actions_addopen(&actions, fd, path->c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ++fd;
    }
    pid_t pid = 0;
    const int failed =
        posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

ProgramOutcome runProgram(const std::string& binary, const std::vector<std::string>& args,
                          std::vector<std::string> environment) {
    TempDir io;
    const std::string outPath = io.file("out"), errPath = io.file("err");
    const pid_t pid =
        startProgram(binary, args, std::move(environment), {"", outPath, errPath, ""});
    ProgramOutcome o;
    o.exitCode = waitProgram(pid);
    o.out = readFile(outPath);
    o.err = readFile(errPath);
    return o;
}

int waitProgram(pid_t pid) {
    if (pid <= 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return condition();
}

} // namespace vektrin::test
