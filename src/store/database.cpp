#include "store/database.h"

#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

std::string quoteLiteral(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

bool looksLikeSqlite(const std::string& path, bool& exists) {
    FILE* f = std::fopen(path.c_str(), "rb");
    exists = f != nullptr;
    if (!f) return true;
    char header[16] = {};
    size_t n = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (n == 0) return true; // an empty file becomes a fresh database
    return n == 16 && std::memcmp(header, "SQLite format 3", 16) == 0;
}

} // namespace

Database::Database(const std::string& directory, const std::vector<AttachedFile>& files)
    : directory_(directory) {
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0)
        throw StoreOpenError("The table directory " + directory +
                             " does not exist: " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        throw StoreOpenError("The table directory " + directory + " is not a directory");
    if (access(directory.c_str(), W_OK | X_OK) != 0)
        throw StoreOpenError("The table directory " + directory +
                             " is not writable: " + std::strerror(errno));

    for (const auto& f : files) {
        const std::string path = directory + "/" + f.fileName;
        bool exists = false;
        if (!looksLikeSqlite(path, exists))
            throw StoreOpenError("The table file " + path +
                                 " is not a table file of this program; it was left untouched");
        if (exists && access(path.c_str(), R_OK | W_OK) != 0)
            throw StoreOpenError("The table file " + path +
                                 " cannot be read and written: " + std::strerror(errno));
    }

    if (sqlite3_open_v2(":memory:", &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        throw StoreOpenError("Cannot open the table connection");
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
    for (const auto& f : files) {
        const std::string path = directory + "/" + f.fileName;
        try {
            exec("ATTACH DATABASE " + quoteLiteral(path) + " AS " + f.schema);
            exec("PRAGMA " + f.schema + ".journal_mode=WAL");
            exec("PRAGMA " + f.schema + ".synchronous=FULL");
            exec("SELECT count(*) FROM " + f.schema + ".sqlite_master");
        } catch (const DatabaseError& e) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw StoreOpenError("The table file " + path + " cannot be opened: " + e.what());
        }
    }
}

Database::~Database() {
    if (db_) sqlite3_close(db_);
}

void Database::exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw DatabaseError(rc, msg);
    }
}

void Database::rollback() {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Statement::Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        throw DatabaseError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

} // namespace vektrin
