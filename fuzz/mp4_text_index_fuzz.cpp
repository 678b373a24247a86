// Reads the text track's index from arbitrary bytes taken as an MP4 file: nothing may crash,
// read out of bounds or hang, and every span it gives lies where the tables put it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "filtercore/Mp4TextIndex.h"

using namespace FilterCore;

// Seeds an empty corpus folder (the first argument that is not an option) with the small
// recordings mkcard wrote into $KV_FIXTURES, so that mutation starts from real MP4 structure.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    namespace fs = std::filesystem;
    const char* fixtures = std::getenv("KV_FIXTURES");
    if (!fixtures) return 0;
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (arg[0] == '-') continue;
        std::error_code error;
        if (!fs::is_directory(arg, error) || !fs::is_empty(arg, error)) return 0;
        for (const auto& entry : fs::directory_iterator(fs::path(fixtures) / "single", error)) {
            if (entry.is_regular_file() && entry.file_size() > 0 && entry.file_size() <= 64 * 1024) {
                fs::copy_file(entry.path(), fs::path(arg) / entry.path().filename(), error);
            }
        }
        return 0;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto readAt = [data, size](int64_t offset, size_t length, std::string* out) {
        out->clear();
        if (offset < 0) return false;
        if (static_cast<uint64_t>(offset) < size) {
            const size_t at = static_cast<size_t>(offset);
            out->assign(reinterpret_cast<const char*>(data) + at, std::min(length, size - at));
        }
        return true;
    };
    std::vector<TextSampleSpan> spans;
    if (!ReadMp4TextIndex(readAt, static_cast<int64_t>(size), &spans) && !spans.empty())
        __builtin_trap();
    for (const TextSampleSpan& span : spans) {
        if (span.size < 0 || span.size > 0x3FFFFFFF) __builtin_trap();
    }
    return 0;
}
