// Private-profile (ini) files: reading one string value.
//
// The file is read afresh on every call. Text in the system code page, or UTF-16LE with its
// byte-order mark; lines end with CR LF, LF or CR. A line "[name]" starts a section; "key=value"
// lines belong to the section above them; lines beginning with ";" and lines without "=" are
// passed over. Section and key names compare without regard to ASCII letter case, each trimmed
// of blanks; the value is trimmed of blanks and loses one pair of surrounding quotes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/kernel.h"

namespace {

// Files beyond this size are not settings files; reading stops there.
constexpr size_t kMaxProfileBytes = 1 << 20;

bool ReadProfileFile(LPCSTR fileName, std::string* bytes)
{
    std::string native = platform::ToNativePath(platform::AnsiToWide(fileName));
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    char buffer[4096];
    while (bytes->size() < kMaxProfileBytes) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes->append(buffer, size_t(n));
    }
    close(fd);
    if (bytes->size() > kMaxProfileBytes)
        bytes->resize(kMaxProfileBytes);
    // UTF-16LE text with its byte-order mark reads as the same text in the system code page.
    if (bytes->size() >= 2 && uint8_t((*bytes)[0]) == 0xFF && uint8_t((*bytes)[1]) == 0xFE)
        *bytes = platform::WideToAnsi(platform::Utf16LeToWide(bytes->data() + 2, bytes->size() - 2));
    else if (bytes->size() >= 3 && bytes->compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes->erase(0, 3);
    return true;
}

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The value of key in section; false when the file has no such key.
bool FindValue(const std::string& text, const std::string& section, const std::string& key,
               std::string* value)
{
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos || !SameName(Trim(line.substr(0, equals)), key))
            continue;
        std::string found = Trim(line.substr(equals + 1));
        if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
            found.back() == found.front())
            found = found.substr(1, found.size() - 2);
        *value = found;
        return true;
    }
    return false;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                               LPSTR returnedString, DWORD size, LPCSTR fileName)
{
    if (!returnedString || size == 0)
        return 0;
    returnedString[0] = 0;
    // Listing the sections or the keys of a section (a null name) is not offered.
    if (!appName || !keyName || !fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string value;
    std::string text;
    bool found = ReadProfileFile(fileName, &text) && FindValue(text, appName, keyName, &value);
    if (!found) {
        // The default loses its trailing blanks.
        value = defaultValue ? defaultValue : "";
        size_t last = value.find_last_not_of(' ');
        value.resize(last == std::string::npos ? 0 : last + 1);
        SetLastError(ERROR_FILE_NOT_FOUND);
    } else {
        SetLastError(ERROR_SUCCESS);
    }
    // Too long a value is cut to the buffer, which always ends with a zero.
    size_t count = std::min<size_t>(value.size(), size - 1);
    std::memcpy(returnedString, value.data(), count);
    returnedString[count] = 0;
    return DWORD(count);
}
