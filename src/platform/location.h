#pragma once
// Where the tables are: a directory of table files, or a database server named the way its client
// library takes it (a postgresql:// address, or keyword=value settings such as service=NAME).

#include <string>
#include <string_view>

namespace vektrin {

// Whether the alias names a database server rather than a directory.
bool isServerLocation(std::string_view location);

// The location as it may be shown: a password in it, in any of the forms the client library
// reads, is replaced by "***".
std::string maskedLocation(std::string_view location);

} // namespace vektrin
