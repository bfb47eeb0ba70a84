#include "condition/file_search_cache.h"

namespace vektrin {

FileListing FileSearchCache::read(std::string_view pattern) {
    ++readings_;
    return std::make_shared<const std::vector<FoundEntry>>(findFiles(pattern));
}

FileListing FileSearchCache::find(std::string_view pattern) {
    if (depth_ == 0) return read(pattern);
    auto key = searchKey(pattern);
    if (!key) return read(pattern); // finds nothing without touching the disk
    if (const auto it = listings_.find(*key); it != listings_.end()) return it->second;
    // A search that finds nothing (a missing directory) is kept as such: the whole pass sees it
    // missing.
    FileListing listing = read(pattern);
    listings_.emplace(std::move(*key), listing);
    return listing;
}

} // namespace vektrin
