#include "support/pg_server.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vektrin::test {
namespace {

constexpr const char* User = "vektrin";

// The newest server installed the Debian way.
std::string serverBinaries() {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
        if (access((e.path() / "bin/postgres").c_str(), X_OK) == 0)
            found.push_back((e.path() / "bin").string());
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return std::atoi(a.c_str() + 19) < std::atoi(b.c_str() + 19);
    });
    return found.empty() ? std::string() : found.back();
}

// Runs argv as the unprivileged user when we are root; wait: to its end, else in the background.
pid_t spawn(const std::vector<std::string>& argv, bool wait, int* status = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(126);
        }
        // A test process that dies takes its server with it.
        prctl(PR_SET_PDEATHSIG, SIGQUIT);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (!wait) dup2(null, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    if (wait && pid > 0) {
        int s = 0;
        waitpid(pid, &s, 0);
        if (status) *status = s;
    }
    return pid;
}

} // namespace

PgServer* PgServer::shared(std::string& reason) {
    static std::unique_ptr<PgServer> server;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::unique_ptr<PgServer> s(new PgServer);
        if (s->init(failure)) server = std::move(s);
    }
    reason = failure;
    return server.get();
}

bool PgServer::init(std::string& reason) {
    bin_ = serverBinaries();
    if (bin_.empty()) {
        reason = "no PostgreSQL server programs under /usr/lib/postgresql (package postgresql)";
        return false;
    }
    // Under /tmp itself: the unprivileged user must reach it, and a socket path is short.
    std::string pattern = "/tmp/vektrin-pg-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        reason = "no temporary directory";
        return false;
    }
    dir_ = pattern;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            reason = "cannot hand the server directory to the user nobody";
            return false;
        }
    }
    int status = 0;
    spawn({bin_ + "/initdb", "-D", dir_ + "/data", "-U", User, "-A", "trust", "-E", "UTF8",
           "--locale=C", "--no-sync"},
          true, &status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        reason = "initdb failed in " + dir_;
        return false;
    }
    if (!start()) {
        reason = "the server did not start in " + dir_;
        return false;
    }
    return true;
}

bool PgServer::start() {
    pid_ = spawn({bin_ + "/postgres", "-D", dir_ + "/data", "-k", dir_, "-c", "listen_addresses=",
                  "-c", "fsync=off", "-c", "full_page_writes=off", "-c", "max_connections=60"},
                 false);
    const std::string conninfo = "host=" + dir_ + " user=" + std::string(User) + " dbname=postgres";
    for (int i = 0; i < 300; ++i) {
        if (PQping(conninfo.c_str()) == PQPING_OK) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void PgServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGINT); // fast shutdown: sessions end, the data stays
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool PgServer::restart() {
    stop();
    return start();
}

PgServer::~PgServer() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string PgServer::uri(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + dir_ + "&user=" + User;
}

std::string PgServer::query(const std::string& database, const std::string& sql) {
    PGconn* c = PQconnectdb(("host=" + dir_ + " user=" + User + " dbname=" + database).c_str());
    std::string answer;
    if (PQstatus(c) == CONNECTION_OK) {
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0)
            answer = PQgetvalue(r, 0, 0);
        else if (PQresultStatus(r) == PGRES_FATAL_ERROR)
            answer = std::string("ERROR: ") + PQresultErrorMessage(r);
        PQclear(r);
    }
    PQfinish(c);
    return answer;
}

std::string PgServer::createDatabase() {
    const std::string name = "t" + std::to_string(getpid()) + "_" + std::to_string(++databases_);
    query("postgres", "CREATE DATABASE " + name);
    return uri(name);
}

void PgServer::terminateSessionsOf(const std::string& database) {
    query("postgres", "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE "
                      "datname = '" +
                          database + "' AND pid <> pg_backend_pid()");
}

} // namespace vektrin::test
