#pragma once
// A table directory with its own aliases file, runtime, state and working directories, the real
// vektrin running headless on it when asked, and vektrinctl run against it.

#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vektrin::test {

using CtlOutcome = ProgramOutcome;

class ControlWorld {
  public:
    TempDir dir;

    ControlWorld() {
        for (const char* d : {"tables", "work", "elsewhere", "config", "state"})
            mkdir((dir.path() + "/" + d).c_str(), 0755);
        mkdir(runtime().c_str(), 0700);
        writeFile(aliases(), "[Control]\npath=" + tables() + "\n");
    }
    ~ControlWorld() { stop(); }
    ControlWorld(const ControlWorld&) = delete;
    ControlWorld& operator=(const ControlWorld&) = delete;

    std::string tables() const { return dir.path() + "/tables"; }
    std::string aliases() const { return dir.file("aliases.ini"); }
    std::string runtime() const { return dir.path() + "/run"; }
    std::string work() const { return dir.path() + "/work"; }
    std::string logPath() const { return work() + "/Vektrin.log"; }
    std::string log() const { return readFile(logPath()); }

    static std::string bin(const char* name) {
        return std::string(VEKTRIN_BINARY_DIR) + "/" + name;
    }

    std::vector<std::string> environment() const {
        return {"VEKTRIN_ALIASES=" + aliases(),
                "XDG_CONFIG_HOME=" + dir.path() + "/config",
                "XDG_RUNTIME_DIR=" + runtime(),
                "XDG_STATE_HOME=" + dir.path() + "/state",
                "HOME=" + dir.path(),
                "LC_ALL=C.UTF-8",
                "TZ=UTC",
                "QT_QPA_PLATFORM=offscreen",
                "PATH=/usr/bin:/bin"};
    }

    // environment() with the variables of extraEnv in place of its own.
    std::vector<std::string> environment(const std::vector<std::string>& extraEnv) const {
        std::vector<std::string> env = environment();
        for (const std::string& extra : extraEnv) {
            const std::string key = extra.substr(0, extra.find('=') + 1);
            std::erase_if(env, [&](const std::string& e) { return e.starts_with(key); });
            env.push_back(extra);
        }
        return env;
    }

    // Runs a program to its end in `cwd` with standard input from `input`.
    CtlOutcome runIn(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::string& input = {},
                     const std::vector<std::string>& extraEnv = {}) const {
        static int serial = 0;
        const std::string base = dir.path() + "/io" + std::to_string(++serial);
        writeFile(base + ".in", input);
        const pid_t pid = spawn(program, args, environment(extraEnv), cwd, base + ".in",
                                base + ".out", base + ".err");
        CtlOutcome o;
        o.exitCode = waitProgram(pid);
        o.out = readFile(base + ".out");
        o.err = readFile(base + ".err");
        return o;
    }

    CtlOutcome ctl(const std::vector<std::string>& args, const std::string& input = {},
                   const std::vector<std::string>& extraEnv = {}) const {
        CtlOutcome o = runIn(bin("vektrinctl"), args, dir.path() + "/elsewhere", input, extraEnv);
        o.err = test::withoutPrefix(o.err);
        return o;
    }

    // Starts vektrin headless in the working directory and waits until `status` exits with
    // `answered` (0: its socket answers).
    void start(int answered = 0, const std::vector<std::string>& args = {},
               const std::vector<std::string>& extraEnv = {}) {
        ASSERT_EQ(access(bin("vektrin").c_str(), X_OK), 0) << "vektrin was not built";
        vektrin_ = spawn(bin("vektrin"), args, environment(extraEnv), work(), "/dev/null",
                         dir.file("vektrin.out"), dir.file("vektrin.err"));
        for (int i = 0; i < 400; ++i) {
            if (ctl({"status"}, {}, extraEnv).exitCode == answered) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        FAIL() << "vektrin did not answer: " << readFile(dir.file("vektrin.err"));
    }

    // SIGTERM and the shutdown sequence; the exit status.
    int stop() {
        if (vektrin_ <= 0) return -1;
        kill(vektrin_, SIGTERM);
        const int status = waitExit(vektrin_);
        vektrin_ = -1;
        return status;
    }

    pid_t vektrinPid() const { return vektrin_; }

    // The running scheduler's socket in the runtime directory; empty when there is none.
    std::string socketPath() const {
        const std::string directory = runtime() + "/vektrin";
        std::string found;
        if (DIR* d = opendir(directory.c_str())) {
            while (const dirent* e = readdir(d))
                if (std::string_view(e->d_name).ends_with(".sock"))
                    found = directory + "/" + e->d_name;
            closedir(d);
        }
        return found;
    }

    bool waitForLog(const std::string& text) const {
        return eventually([&] { return log().find(text) != std::string::npos; });
    }

    static pid_t spawn(const std::string& program, const std::vector<std::string>& args,
                       std::vector<std::string> env, const std::string& cwd, const std::string& in,
                       const std::string& out, const std::string& err) {
        return test::startProgram(program, args, std::move(env), {in, out, err, cwd});
    }

    static int waitExit(pid_t pid) { return waitProgram(pid); }

  private:
    pid_t vektrin_ = -1;
};

// The raw answer of the socket to bytes sent on one connection.
inline std::string askSocket(const std::string& socketPath, const std::string& request) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return "connect failed";
    }
    for (std::size_t done = 0; done < request.size();) {
        const ssize_t n = send(fd, request.data() + done, request.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return answer;
}

} // namespace vektrin::test
