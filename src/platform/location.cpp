#include "platform/location.h"

#include <cctype>

namespace vektrin {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view Schemes[] = {"postgresql://", "postgres://"};

bool isUri(std::string_view location) {
    for (auto scheme : Schemes)
        if (startsWith(location, scheme)) return true;
    return false;
}

bool isPasswordKey(std::string_view key) {
    std::string lower;
    for (char c : key)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "password";
}

// The value of a keyword setting ends at a blank unless it is quoted; a quote is escaped with \.
std::size_t valueEnd(std::string_view text, std::size_t from) {
    if (from < text.size() && text[from] == '\'') {
        for (std::size_t i = from + 1; i < text.size(); ++i) {
            if (text[i] == '\\')
                ++i;
            else if (text[i] == '\'')
                return i + 1;
        }
        return text.size();
    }
    std::size_t i = from;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    return i;
}

std::string maskKeywords(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            out += text[i++];
            continue;
        }
        std::size_t eq = i;
        while (eq < text.size() && text[eq] != '=' &&
               !std::isspace(static_cast<unsigned char>(text[eq])))
            ++eq;
        std::size_t valueAt = eq;
        while (valueAt < text.size() && (text[valueAt] == '=' || text[valueAt] == ' '))
            ++valueAt;
        const std::string_view key = text.substr(i, eq - i);
        const std::size_t end = valueEnd(text, valueAt);
        out += text.substr(i, valueAt - i);
        out += isPasswordKey(key) ? std::string("***")
                                  : std::string(text.substr(valueAt, end - valueAt));
        i = end;
    }
    return out;
}

std::string maskUri(std::string_view uri) {
    std::string out;
    const std::size_t authority = uri.find("://") + 3;
    std::size_t authorityEnd = uri.find_first_of("/?", authority);
    if (authorityEnd == std::string_view::npos) authorityEnd = uri.size();
    const std::size_t at = uri.substr(0, authorityEnd).rfind('@');
    if (at != std::string_view::npos && at >= authority) {
        const std::size_t colon = uri.substr(0, at).find(':', authority);
        if (colon != std::string_view::npos) {
            out = std::string(uri.substr(0, colon + 1)) + "***";
            out += uri.substr(at, authorityEnd - at);
        } else {
            out = std::string(uri.substr(0, authorityEnd));
        }
    } else {
        out = std::string(uri.substr(0, authorityEnd));
    }
    // Parameters: password=... among them.
    std::size_t i = authorityEnd;
    while (i < uri.size()) {
        std::size_t next = uri.find_first_of("?&", i + 1);
        if (next == std::string_view::npos) next = uri.size();
        const std::string_view part = uri.substr(i, next - i);
        const std::size_t eq = part.find('=');
        if ((part[0] == '?' || part[0] == '&') && eq != std::string_view::npos &&
            isPasswordKey(part.substr(1, eq - 1)))
            out += std::string(part.substr(0, eq + 1)) + "***";
        else
            out += part;
        i = next;
    }
    return out;
}

} // namespace

bool isServerLocation(std::string_view location) {
    if (isUri(location)) return true;
    // keyword=value settings; a directory path with '=' in it starts with '/' or '.'.
    return !location.empty() && location[0] != '/' && location[0] != '.' && location[0] != '~' &&
           location.find('=') != std::string_view::npos;
}

std::string maskedLocation(std::string_view location) {
    if (isUri(location)) return maskUri(location);
    if (isServerLocation(location)) return maskKeywords(location);
    return std::string(location);
}

} // namespace vektrin
