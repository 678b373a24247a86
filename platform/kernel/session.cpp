#include "session.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace platform {

std::string SessionTag()
{
    const char* session = std::getenv("PLATFORM_SESSION");
    if (!session || !*session)
        return std::string();
    std::string tag;
    for (const char* p = session; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                     c == '-' || c == '_';
        if (plain) {
            tag += char(c);
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", unsigned(c));
            tag += escape;
        }
    }
    if (tag.size() > 40) {
        uint64_t hash = 14695981039346656037ull;  // FNV-1a over the whole name
        for (const char* p = session; *p; ++p)
            hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        char suffix[20];
        std::snprintf(suffix, sizeof suffix, "~%016llX", static_cast<unsigned long long>(hash));
        tag = tag.substr(0, 23) + suffix;
    }
    return tag;
}

}  // namespace platform
