#pragma once
// File searches kept for a while: the scheduling pass opens a scope so that the tasks of one pass
// share one reading of each directory and pattern, and the next pass sees the disk as it is then.

#include "condition/environment.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vektrin {

class FileSearchCache {
  public:
    // While a scope is open each search reads the disk once; its end, however it comes, forgets
    // every listing. A scope opened inside another one ends nothing.
    class Scope {
      public:
        explicit Scope(FileSearchCache& cache) : cache_(cache) { ++cache_.depth_; }
        ~Scope() {
            if (--cache_.depth_ == 0) cache_.listings_.clear();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        FileSearchCache& cache_;
    };

    // What `pattern` finds: the listing kept for its search (searchKey) while a scope is open,
    // else a fresh reading.
    FileListing find(std::string_view pattern);

    bool open() const { return depth_ > 0; }
    // Readings made so far (calls of findFiles), for whoever wants to see what a pass cost.
    std::size_t readings() const { return readings_; }

  private:
    FileListing read(std::string_view pattern);

    std::unordered_map<std::string, FileListing> listings_;
    int depth_ = 0;
    std::size_t readings_ = 0;
};

} // namespace vektrin
