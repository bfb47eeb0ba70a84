#pragma once

#include <string>
#include <string_view>

namespace vektrin {

// Text in the OEM code page of the companion product's files (CP866) as UTF-8. Bytes below 128
// pass unchanged; a conversion that fails leaves the text as it was.
std::string oemToUtf8(std::string_view text);

} // namespace vektrin
