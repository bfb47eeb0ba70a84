#include "platform/codepage.h"

#include <iconv.h>

namespace vektrin {

std::string oemToUtf8(std::string_view text) {
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) return std::string(text);
    iconv_t cd = iconv_open("UTF-8", "CP866");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out(text.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* o = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return std::string(text);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace vektrin
