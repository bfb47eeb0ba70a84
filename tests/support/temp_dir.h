#pragma once

#include <string>

namespace vektrin::test {

// A fresh directory under $TMPDIR, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
// How often what occurs in text, overlaps counted.
int occurrences(const std::string& text, const std::string& what);
void writeFile(const std::string& path, const std::string& content);

} // namespace vektrin::test
