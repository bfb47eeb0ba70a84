#pragma once

#include <string>

namespace vektrin {

// The program's "FileVersion": the project version compiled in, or "No such VersionInfo".
std::string fileVersion();

// Major and minor part of a version: 2.1.0.7 gives 2.1, 3 stays 3, 4.5 stays 4.5.
std::string VersionText(std::string fileVersion);

} // namespace vektrin
