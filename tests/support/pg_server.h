#pragma once
// A private PostgreSQL server for the tests: made with initdb in a temporary directory and
// reached on a Unix socket there only. Run as an unprivileged user when the tests run as root.

#include <memory>
#include <string>
#include <sys/types.h>

namespace vektrin::test {

class PgServer {
  public:
    // The server of this test process, started at the first call; nullptr when it cannot be
    // (reason says why: no server programs, initdb failed), which a test turns into a skip.
    static PgServer* shared(std::string& reason);
    ~PgServer();

    // A new empty database: its connection URI.
    std::string createDatabase();
    // The URI of a database, with the user the server knows; and the database a URI names.
    std::string uri(const std::string& database) const;
    static std::string databaseOf(const std::string& uri) {
        const std::size_t from = uri.find(":///") + 4;
        return uri.substr(from, uri.find('?') - from);
    }
    // Stops the server (fast shutdown: every session ends) and starts it again.
    bool restart();
    void stop();
    bool start();
    // Ends one backend (as an administrator's pg_terminate_backend would): the connection cut.
    void terminateSessionsOf(const std::string& database);
    // Runs SQL as the administrator on a database; the first column of the first row.
    std::string query(const std::string& database, const std::string& sql);
    const std::string& socketDirectory() const { return dir_; }

  private:
    PgServer() = default;
    bool init(std::string& reason);
    std::string bin_, dir_;
    pid_t pid_ = -1;
    int databases_ = 0;
};

} // namespace vektrin::test
