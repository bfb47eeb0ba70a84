#include "store/database.h"

#include "platform/strings.h"
#include "store/sql_quote.h"
#include "store/sqlite_table.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

std::string quoteLiteral(const std::string& s) {
    return sqlQuoted(s, '\'');
}

// A file name as a URI, so that '?', '#' and '%' in a directory name stay part of the path.
std::string fileUri(const std::string& path, const char* query) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c == 0x7F) {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        } else {
            uri += static_cast<char>(c);
        }
    }
    if (query && *query) uri += std::string("?") + query;
    return uri;
}

std::string userName(uid_t uid) {
    if (const passwd* pw = getpwuid(uid)) return pw->pw_name;
    return "uid " + std::to_string(uid);
}

enum class FileShape { Missing, Empty, Database };

// What lies at path, refusing every shape that cannot be one of our table files.
FileShape inspectFile(const std::string& path, OpenMode mode) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0) {
        if (errno == ENOENT) return FileShape::Missing;
        throw StoreOpenError({str::TableFileNotExamined, {path, std::strerror(errno)}});
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (S_ISLNK(link.st_mode)) {
            char target[4096];
            const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
            const std::string to = n > 0 ? std::string(target, static_cast<size_t>(n)) : "?";
            throw StoreOpenError({str::TableFileDanglingLink, {path, to}});
        }
        throw StoreOpenError({str::TableFileNotExamined, {path, std::strerror(errno)}});
    }
    if (S_ISDIR(st.st_mode)) throw StoreOpenError({str::TableFileIsDirectory, {path}});
    if (!S_ISREG(st.st_mode)) throw StoreOpenError({str::TableFileNotRegular, {path}});
    if (mode == OpenMode::ReadWrite) {
        // The journal files SQLite leaves beside it would belong to us and lock the owner out.
        if (st.st_uid != geteuid())
            throw StoreOpenError(
                {str::TableFileOfAnotherUser, {path, userName(st.st_uid), userName(geteuid())}});
        // The owner's write bit counts even for root, who could write it anyway: somebody made
        // the file read-only on purpose.
        if ((st.st_mode & S_IWUSR) == 0 || access(path.c_str(), W_OK) != 0)
            throw StoreOpenError({str::TableFileReadOnly, {path}});
    }
    if (access(path.c_str(), R_OK) != 0)
        throw StoreOpenError({str::TableFileNotReadable, {path, std::strerror(errno)}});

    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw StoreOpenError({str::TableFileNotReadable, {path, std::strerror(errno)}});
    char header[16] = {};
    const size_t n = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (n == 0) return FileShape::Empty; // becomes a fresh table
    if (n != 16 || std::memcmp(header, "SQLite format 3", 16) != 0)
        throw StoreOpenError({str::TableFileNotOurs, {path}});
    return FileShape::Database;
}

// A new table file is its owner's alone, whatever the umask; SQLite gives its journals the
// file's own mode. A file that exists keeps the mode it has.
void createPrivateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return;
        throw StoreOpenError({str::TableFileNotOpened, {path, std::strerror(errno)}});
    }
    const bool owned = ::fchmod(fd, 0600) == 0;
    const int error = errno;
    ::close(fd);
    if (!owned) throw StoreOpenError({str::TableFileNotOpened, {path, std::strerror(error)}});
}

void checkDirectory(const std::string& directory, OpenMode mode) {
    struct stat st {};
    if (stat(directory.c_str(), &st) != 0)
        throw StoreOpenError({str::TableDirectoryMissing, {directory, std::strerror(errno)}});
    if (!S_ISDIR(st.st_mode)) throw StoreOpenError({str::TableDirectoryNotDirectory, {directory}});
    const int need = mode == OpenMode::ReadWrite ? (W_OK | X_OK) : (R_OK | X_OK);
    if (access(directory.c_str(), need) != 0)
        throw StoreOpenError({mode == OpenMode::ReadWrite ? str::TableDirectoryNotWritable
                                                          : str::TableDirectoryNotReadable,
                              {directory, std::strerror(errno)}});
}

// A rollback journal beside the file: a change its writer did not finish (or a file of another
// program's; both are left for a writer to look at).
bool halfDoneChange(const std::string& path) {
    struct stat journal {};
    return ::stat((path + "-journal").c_str(), &journal) == 0 && journal.st_size > 0;
}

bool writable(const std::string& path, const std::string& directory) {
    return access(path.c_str(), W_OK) == 0 && access(directory.c_str(), W_OK | X_OK) == 0;
}

} // namespace

Database::Database(const std::string& directory, const std::vector<AttachedFile>& files,
                   OpenMode mode, const std::vector<std::string>& newFiles)
    : Database(directory, files, mode, Purpose::Use, newFiles) {}

void Database::verify(const std::string& directory, const std::vector<AttachedFile>& files) {
    Database(directory, files, OpenMode::ReadWrite, Purpose::VerifyOnly, {});
}

Database::Database(const std::string& directory, const std::vector<AttachedFile>& files,
                   OpenMode mode, Purpose purpose, const std::vector<std::string>& newFiles)
    : directory_(directory), mode_(mode) {
    checkDirectory(directory, mode);
    std::vector<FileShape> shapes;
    for (const auto& f : files)
        shapes.push_back(inspectFile(directory + "/" + f.fileName, mode));

    // Until every file has shown the one table of ours with columns we know, nothing is written
    // to any of them: not even the journal-mode switch. The look is taken on a connection of its
    // own, with every file attached read-only.
    std::vector<std::vector<const TableColumn*>> missing(files.size());
    std::vector<bool> present(files.size(), false);
    std::vector<std::string> readSources(files.size());
    std::string path;
    try {
        openConnection(":memory:");
        for (size_t i = 0; i < files.size(); ++i) {
            if (shapes[i] != FileShape::Database) continue;
            const AttachedFile& f = files[i];
            path = directory + "/" + f.fileName;
            // The task file becomes main only on the working connection.
            const std::string schema = f.schema == "main" ? "verified" : f.schema;
            readSources[i] = attach(path, schema, true);
            missing[i] = verifyTableFile(path, f, schema);
            present[i] = hasTable(schema, f.table);
            if (mode == OpenMode::ReadOnly)
                for (const TableColumn* c : missing[i])
                    absentColumns_.insert(f.schema + '.' + c->name);
        }
        close();
        // A file emptied beside others that hold their tables lost its rows; made anew it would
        // quietly start from nothing.
        if (std::find(present.begin(), present.end(), true) != present.end())
            for (size_t i = 0; i < files.size(); ++i)
                if (shapes[i] == FileShape::Empty && std::find(newFiles.begin(), newFiles.end(),
                                                               files[i].fileName) == newFiles.end())
                    throw StoreOpenError(
                        {str::TableFileEmptied, {directory + "/" + files[i].fileName}});
        if (purpose == Purpose::VerifyOnly) return;

        // The working connection has the first file as its main database: SQLite makes a commit
        // over several files atomic only then (it names the super-journal after the main file).
        const bool writing = mode == OpenMode::ReadWrite;
        std::vector<std::string> sources;
        for (size_t i = 0; i < files.size(); ++i) {
            path = directory + "/" + files[i].fileName;
            if (writing && shapes[i] == FileShape::Missing) createPrivateFile(path);
            if (writing)
                sources.push_back(fileUri(path, "mode=rwc"));
            else if (shapes[i] == FileShape::Database && present[i])
                sources.push_back(readSources[i]);
            else
                sources.push_back(":memory:"); // nothing to read, nothing may be created
        }
        path = directory + "/" + files.front().fileName;
        openConnection(sources.front());
        for (size_t i = 1; i < files.size(); ++i) {
            path = directory + "/" + files[i].fileName;
            exec("ATTACH DATABASE " + quoteLiteral(sources[i]) + " AS " + files[i].schema);
        }
        for (size_t i = 0; i < files.size(); ++i) {
            const AttachedFile& f = files[i];
            path = directory + "/" + f.fileName;
            if (writing) useRollbackJournal(f, path);
            if (!hasTable(f.schema, f.table)) createTable(f);
            if (writing && !missing[i].empty()) addColumns(path, f, missing[i]);
        }
    } catch (const DatabaseError& e) {
        close();
        throw StoreOpenError({str::TableFileNotOpened, {path, e.what()}});
    } catch (...) {
        close();
        throw;
    }
}

void Database::openConnection(const std::string& mainSource) {
    close();
    const int rc = sqlite3_open_v2(mainSource.c_str(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                       SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
                                   nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        close();
        throw sqliteFailure(rc, reason);
    }
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
}

void Database::close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

void Database::useRollbackJournal(const AttachedFile& f, const std::string& path) {
    // A file of an earlier version may be in write-ahead mode, which another connection's open
    // handle keeps it in for a moment: it is switched once nobody else has it open.
    std::string journal;
    for (int attempt = 0; attempt < 100; ++attempt) {
        try {
            Statement st(db_, "PRAGMA " + f.schema + ".journal_mode=DELETE");
            if (sqlite3_step(st.get()) == SQLITE_ROW)
                if (const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)))
                    journal = text;
        } catch (const DatabaseError& e) {
            if (!isTransientFailure(e)) throw;
        }
        if (journal == "delete") break;
        ::usleep(50 * 1000);
    }
    if (journal != "delete") throw StoreOpenError({str::TableFileHeldInWal, {path}});
    exec("PRAGMA " + f.schema + ".synchronous=FULL");
}

Database::~Database() {
    close();
}

void Database::createTable(const AttachedFile& f) {
    std::string sql = "CREATE TABLE " + f.schema + "." + quoteIdentifier(f.table) + " (";
    for (size_t i = 0; i < f.columns.size(); ++i) {
        if (i) sql += ", ";
        sql += quoteIdentifier(f.columns[i].name) + " " + f.columns[i].declaration;
    }
    exec(sql + ")");
}

void Database::addColumns(const std::string& path, const AttachedFile& f,
                          const std::vector<const TableColumn*>& missing) {
    Transaction transaction(*this);
    std::string names;
    for (const TableColumn* c : missing) {
        exec("ALTER TABLE " + f.schema + "." + quoteIdentifier(f.table) + " ADD COLUMN " +
             quoteIdentifier(c->name) + " " + c->declaration);
        names += (names.empty() ? "" : ", ") + c->name;
    }
    transaction.commit();
    std::fprintf(stderr,
                 "Vektrin: the table file %s was of an older layout; added the columns %s\n",
                 path.c_str(), names.c_str());
}

std::string Database::attach(const std::string& path, const std::string& schema, bool readOnly) {
    const auto attachAs = [&](const std::string& uri) {
        exec("ATTACH DATABASE " + quoteLiteral(uri) + " AS " + schema);
        return uri;
    };
    if (!readOnly) return attachAs(fileUri(path, ""));
    if (halfDoneChange(path)) {
        // A change a killed writer left half done: only a connection that may write the file
        // rolls it back before anything is read, and nobody else may read it as it stands.
        if (!writable(path, directory_))
            throw StoreOpenError({str::TableFileHalfDone, {path, path + "-journal"}});
        attachAs(fileUri(path, "mode=rw"));
        exec("SELECT count(*) FROM " + schema + ".sqlite_master");
        return fileUri(path, "mode=rw");
    }
    // A read-only look at a file whose directory we cannot write: SQLite cannot make the shared
    // memory file a WAL file needs (the attaching itself or the first read fails), so the file is
    // read as it stands on disk.
    bool attached = false;
    try {
        attachAs(fileUri(path, "mode=ro"));
        attached = true;
        exec("SELECT count(*) FROM " + schema + ".sqlite_master");
        return fileUri(path, "mode=ro");
    } catch (const DatabaseError& e) {
        if ((e.code() & 0xFF) != SQLITE_CANTOPEN && (e.code() & 0xFF) != SQLITE_READONLY) throw;
        if (attached) exec("DETACH DATABASE " + schema);
        return attachAs(fileUri(path, "mode=ro&immutable=1"));
    }
}

std::vector<const TableColumn*> Database::verifyTableFile(const std::string& path,
                                                          const AttachedFile& f,
                                                          const std::string& schema) {
    const auto refuse = [&](std::string_view format, std::vector<std::string> args) {
        args.insert(args.begin(), path);
        throw StoreOpenError({format, std::move(args)});
    };
    {
        Statement objects(db_,
                          "SELECT type, name FROM " + schema + ".sqlite_master ORDER BY rowid");
        while (sqlite3_step(objects.get()) == SQLITE_ROW) {
            const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(objects.get(), 0));
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(objects.get(), 1));
            const std::string objectName = name ? name : "";
            // SQLite's own bookkeeping (the AUTOINCREMENT counter, the UNIQUE index) is ours too.
            if (objectName.rfind("sqlite_", 0) == 0) continue;
            if (sqlite3_stricmp(objectName.c_str(), f.table.c_str()) == 0 && type &&
                std::string(type) == "table")
                continue;
            refuse(str::TableFileHoldsObject, {type ? type : "object", objectName});
        }
    }
    if (!hasTable(schema, f.table)) return {}; // an empty database becomes a fresh table

    // Columns are read by name, so their order does not matter; one we do not know does.
    std::vector<bool> present(f.columns.size(), false);
    Statement info(db_, "PRAGMA " + schema + ".table_info(" + quoteIdentifier(f.table) + ")");
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
        const auto* raw = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
        const std::string column = raw ? raw : "";
        size_t i = 0;
        while (i < f.columns.size() && sqlite3_stricmp(column.c_str(), f.columns[i].name.c_str()))
            ++i;
        if (i == f.columns.size()) refuse(str::TableFileForeignColumn, {column, f.table});
        present[i] = true;
    }
    std::vector<const TableColumn*> missing;
    for (size_t i = 0; i < f.columns.size(); ++i) {
        if (present[i]) continue;
        if (!f.columns[i].addable) refuse(str::TableFileColumnNotAdded, {f.columns[i].name});
        missing.push_back(&f.columns[i]);
    }
    return missing;
}

bool Database::hasTable(const std::string& schema, const std::string& table) {
    Statement s(db_, "SELECT 1 FROM " + schema +
                         ".sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    return sqlite3_step(s.get()) == SQLITE_ROW;
}

void Database::exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw sqliteFailure(rc, msg);
    }
}

void Database::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

bool Database::inTransaction() const {
    return db_ && !sqlite3_get_autocommit(db_);
}

std::unique_ptr<TableBackend> Database::openTable(const std::string& schema,
                                                  const std::string& table,
                                                  const std::vector<FieldDef>& fields,
                                                  const std::string& orderBy) {
    return std::make_unique<SqliteTable>(*this, schema, table, fields, orderBy);
}

void Database::begin() {
    std::string savepoint;
    if (inTransaction()) savepoint = "nested" + std::to_string(transactions_.size() + 1);
    exec(savepoint.empty() ? std::string("BEGIN IMMEDIATE") : "SAVEPOINT " + savepoint);
    transactions_.push_back(savepoint);
}

void Database::commit() {
    const std::string& savepoint = transactions_.back();
    exec(savepoint.empty() ? std::string("COMMIT") : "RELEASE " + savepoint);
    transactions_.pop_back();
}

void Database::rollback() noexcept {
    const std::string savepoint = transactions_.back();
    transactions_.pop_back();
    if (savepoint.empty()) {
        if (inTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        const std::string sql = "ROLLBACK TO " + savepoint + "; RELEASE " + savepoint;
        sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    ++rollbacks_;
}

bool isDamageCode(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// What SQLite finds wrong with the file, read on a connection of its own; empty when it finds
// nothing or cannot look (a file that cannot be opened is not thereby damaged).
std::string tableFileDamage(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    sqlite3* db = nullptr;
    std::string damage;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* check = nullptr;
        int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &check, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_step(check);
        if (rc == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
            if (text && std::string_view(text) != "ok") damage = text;
        } else if (isDamageCode(sqlite3_extended_errcode(db))) {
            damage = sqlite3_errmsg(db);
        }
        sqlite3_finalize(check);
    } else if (isDamageCode(sqlite3_extended_errcode(db))) {
        damage = sqlite3_errmsg(db);
    }
    sqlite3_close(db);
    // quick_check reports one line per problem, headed by the schema.
    if (damage.starts_with("*** in database main ***")) damage.erase(0, 24);
    for (char& c : damage)
        if (c == '\n') c = ' ';
    while (!damage.empty() && damage.front() == ' ')
        damage.erase(0, 1);
    return damage;
}

DatabaseError sqliteFailure(int code, const std::string& message) {
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PROTOCOL:
        return DatabaseError(code, message, true);
    default:
        return DatabaseError(code, message);
    }
}

DatabaseError sqliteFailure(sqlite3* db) {
    return sqliteFailure(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

Statement::Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        throw sqliteFailure(db);
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

} // namespace vektrin
