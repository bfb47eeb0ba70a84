#pragma once
// The tables in a PostgreSQL database, shared by the schedulers of several workstations: the server
// side of the store, on libpq.

#include "store/database.h"
#include "store/shared_tables.h"
#include "store/store_backend.h"

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace vektrin {

struct PgResultFree {
    void operator()(pg_result* r) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultFree>;

class PgDatabase final : public StoreBackend, public SharedTables {
  public:
    // Connects to the database the location names (see platform/location.h). A read-write opening
    // makes what is missing of the schema; a read-only one makes nothing and reads a missing
    // table as empty. Throws StoreOpenError naming the masked location when it cannot connect.
    PgDatabase(const std::string& location, OpenMode mode);
    ~PgDatabase() override;
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;

    std::unique_ptr<TableBackend> openTable(const std::string& schema, const std::string& table,
                                            const std::vector<FieldDef>& fields,
                                            const std::string& orderBy) override;
    const std::string& directory() const override { return shown_; }
    void setBusyTimeout(int milliseconds) override;
    std::uint64_t rollbacks() const override { return rollbacks_; }
    SharedTables* shared() override { return this; }

    // Whether the schema is there (the task table).
    bool hasSchema();

    // SharedTables
    bool registerScheduler(const std::string& host, const std::string& version,
                           std::int64_t pid) override;
    void notePass() override;
    std::vector<SchedulerEntry> liveSchedulers() override;
    bool hostRuns(const std::string& host) override;
    bool claim(std::int64_t task, const std::string& moment, const std::string& hostKey,
               std::string& takenBy) override;
    std::optional<std::string> claimOf(std::int64_t task, const std::string& moment,
                                       const std::string& hostKey) override;
    void pruneClaims(int days) override;
    bool holdResource(int resource) override;
    void releaseResource(int resource) override;
    void noteAlive() override;
    void appendProtocol(const std::vector<std::string>& lines) override;
    std::vector<SharedProtocolLine> protocol(const std::string& host) override;
    std::int64_t sendRequest(const std::string& host, const std::string& request) override;
    std::optional<std::string> answerOf(std::int64_t id) override;
    std::vector<std::pair<std::int64_t, std::string>> takeRequests() override;
    void answerRequest(std::int64_t id, const std::string& answer) override;
    bool takeNotices() override;
    int noticeSocket() const override;
    bool connected() const override;
    bool reconnect() override;
    std::uint64_t connectionLosses() const override { return losses_; }
    const std::string& lastLoss() const override { return lastLoss_; }

    // A statement with text parameters (nullopt for NULL); throws DatabaseError when it fails.
    PgResult exec(const std::string& sql,
                  const std::vector<std::optional<std::string>>& params = {});
    // A write of table by this connection: its own commits do not make the table stale.
    void noteWrite(const std::string& table);
    std::int64_t ownWrites(const std::string& table) const;
    OpenMode mode() const { return mode_; }

  private:
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    void connect();
    void makeSchema();
    // Takes again what ended with a lost connection: the registration and the resources.
    void restoreSession();
    bool takeHost(const std::string& host);
    void unlockResource(const std::string& resource) noexcept;
    [[noreturn]] void fail(pg_result* result);
    // Reads what came on the connection and notes what its notices announce.
    void readNotices();
    void countLoss(const std::string& why);

    std::string location_;
    std::string shown_;
    OpenMode mode_;
    pg_conn* conn_ = nullptr;
    std::uint64_t rollbacks_ = 0;
    int lockTimeoutMs_ = 0;
    // Writes of each table by this connection: committed ones, and those of each open level.
    std::map<std::string, std::int64_t> ownWrites_;
    std::vector<std::map<std::string, std::int64_t>> pendingWrites_;
    // What the session holds, taken again after a reconnection.
    std::string host_, version_;
    std::int64_t pid_ = 0;
    std::set<int> resources_;
    std::chrono::steady_clock::time_point nextTry_{};
    std::chrono::milliseconds backoff_{500};
    bool requestsAnnounced_ = false;  // a NOTIFY of a request came since they were taken
    bool changesAnnounced_ = false;   // one of another connection's change, since takeNotices
    std::set<std::string> liveHosts_; // in lower case, as last asked
    std::chrono::steady_clock::time_point liveAsked_{};
    std::chrono::steady_clock::time_point aliveSaid_{};
    std::uint64_t losses_ = 0;
    bool lossCounted_ = false; // of the connection lost now
    std::string lastLoss_;
};

} // namespace vektrin
