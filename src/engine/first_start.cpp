#include "engine/first_start.h"

#include "platform/aliases.h"
#include "platform/config_paths.h"
#include "platform/ini_file.h"
#include "platform/location.h"
#include "platform/strings.h"
#include "store/data_ctrl.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vektrin {
namespace {

// What a failed first start made, taken away again in reverse order.
class Undo {
  public:
    ~Undo() {
        if (done_) return;
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            (void)(it->second ? rmdir(it->first.c_str()) : unlink(it->first.c_str()));
    }
    void file(const std::string& path) { made_.emplace_back(path, false); }
    void directory(const std::string& path) { made_.emplace_back(path, true); }
    void keep() { done_ = true; }

  private:
    std::vector<std::pair<std::string, bool>> made_;
    bool done_ = false;
};

void makeDirectories(const std::string& path, Undo& undo) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw OperatorError({str::FirstStartDirectoryNotMade, {path, std::strerror(ENOTDIR)}});
        return;
    }
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) makeDirectories(path.substr(0, slash), undo);
    if (mkdir(path.c_str(), 0700) != 0)
        throw OperatorError({str::FirstStartDirectoryNotMade, {path, std::strerror(errno)}});
    undo.directory(path);
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class NoMessages final : public MessagePort {
  public:
    void showMessage(std::string_view text, MessageKind) override {
        throw std::runtime_error(std::string(text));
    }
    void showText(const OperatorText& text, MessageKind) override { throw OperatorError(text); }
};

} // namespace

FirstStart proposedFirstStart(const std::string& aliasesFile) {
    return {aliasesFile.empty() ? aliasesFileCandidates().front() : aliasesFile,
            dataHome() + "/vektrin/tables"};
}

std::optional<std::string> definedControl(const std::string& aliasesFile) {
    return lookupAlias("Control", aliasesFile);
}

std::string defineControl(const FirstStart& places) {
    std::optional<IniFile> ini = IniFile::load(places.aliasesFile, AliasesFileKind);
    // A new file of the user's hides the system's: it starts as a copy, so that the system's other
    // aliases stay defined.
    if (!ini && places.aliasesFile == aliasesFileCandidates().front())
        if (const std::string inForce = aliasesFilePath(); inForce != places.aliasesFile)
            ini = IniFile::load(inForce, AliasesFileKind);
    if (!ini) ini = IniFile::parse("");
    Undo undo;
    makeDirectories(parentOf(places.aliasesFile), undo);
    if (access(parentOf(places.aliasesFile).c_str(), W_OK) != 0)
        throw ConfigFileError(places.aliasesFile, {AliasesFileKind.unwritable,
                                                   {places.aliasesFile, std::strerror(errno)}});
    if (isServerLocation(places.tablesDirectory)) {
        // The schema is made in the database (or found there); no directory of ours.
        if (!ini->set("Control", "path", places.tablesDirectory))
            throw OperatorError(
                {str::FirstStartPathNotWritten, {maskedLocation(places.tablesDirectory)}});
        {
            NoMessages messages;
            TDataCtrl tables(places.tablesDirectory, messages);
        }
        ini->save(places.aliasesFile, AliasesFileKind);
        undo.keep();
        return maskedLocation(places.tablesDirectory);
    }
    makeDirectories(places.tablesDirectory, undo);
    char real[PATH_MAX];
    if (!realpath(places.tablesDirectory.c_str(), real))
        throw OperatorError(
            {str::FirstStartDirectoryUnusable, {places.tablesDirectory, std::strerror(errno)}});
    const std::string directory = real;
    if (!ini->set("Control", "path", directory))
        throw OperatorError({str::FirstStartPathNotWritten, {directory}});
    for (const char* name : {TaskFileName, ResourceFileName, SilenceFileName})
        if (const std::string file = directory + "/" + name; access(file.c_str(), F_OK) != 0)
            undo.file(file);
    {
        NoMessages messages;
        TDataCtrl tables(directory, messages);
    }
    ini->save(places.aliasesFile, AliasesFileKind);
    undo.keep();
    return directory;
}

} // namespace vektrin
