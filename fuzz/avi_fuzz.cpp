// The AVI telemetry walk and the codec check on arbitrary bytes written to a file. An input
// that begins with "S" is the recipe of a well-formed file (a header list, an optional JUNK
// chunk, a movi list of chunks and an index whose entries the recipe may point anywhere), so
// that mutation reaches the walk's inner steps; any other input is the file itself. Nothing
// may crash, hang or read outside its buffers, and a damaged file gives partial records.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/kernel.h"
#include "playback/FileAnalysis.h"

CRITICAL_SECTION g_csExtractText;

namespace {

void PutLe32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Recipe bytes after "S": a flags byte (bit 0: JUNK, bit 1: offsets from the file's start),
// then chunks: a length byte n, a size-field byte added to n, an offset-delta byte that moves
// the index entry, and n data bytes.
std::string FromRecipe(const uint8_t* data, size_t size)
{
    size_t at = 1;
    const uint8_t flags = at < size ? data[at++] : 0;
    std::string hdrl = "hdrlavih";
    PutLe32(hdrl, 56);
    hdrl.append(56, '\0');
    std::string movi = "movi";
    std::string entries;
    std::string file = "RIFF";
    PutLe32(file, 0);
    file += "AVI LIST";
    PutLe32(file, uint32_t(hdrl.size()));
    file += hdrl;
    if (flags & 1) {
        file += "JUNK";
        PutLe32(file, 8);
        file.append(8, '\0');
    }
    const size_t moviType = file.size() + 8;
    while (at + 3 <= size) {
        const size_t n = data[at];
        const uint32_t sizeField = uint32_t(n) + data[at + 1];
        const int delta = int(data[at + 2]) - 128;
        at += 3;
        const std::string chunk(reinterpret_cast<const char*>(data + at), std::min(n, size - at));
        at += chunk.size();
        const size_t position = movi.size();
        movi += "02tx";
        PutLe32(movi, sizeField);
        movi += chunk;
        if (movi.size() % 2)
            movi += '\0';
        entries += "02tx";
        PutLe32(entries, 0x10);
        PutLe32(entries, uint32_t(int64_t((flags & 2) ? moviType + position : position) + delta));
        PutLe32(entries, sizeField);
    }
    file += "LIST";
    PutLe32(file, uint32_t(movi.size()));
    file += movi;
    file += "idx1";
    PutLe32(file, uint32_t(entries.size()));
    return file + entries;
}

std::string FolderName()
{
    return "/tmp/avi_fuzz-" + std::to_string(getpid());
}

// A folder of this process for the file, removed at exit.
const std::string& Folder()
{
    static const std::string folder = [] {
        std::filesystem::create_directories(FolderName());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(FolderName(), ignored);
        });
        return FolderName();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InitializeCriticalSection(&g_csExtractText);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A name of the new style makes the walk read new-style lines: odd-sized inputs get one.
    const std::string& folder = Folder();
    const std::string native = folder + (size % 2 ? "/Rec_0001.avi" : "/REC_1.avi");
    const std::string bytes = size > 0 && data[0] == 'S'
                                  ? FromRecipe(data, size)
                                  : std::string(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(native, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    const std::wstring path = platform::ToWindowsPath(native);

    EnterCriticalSection(&g_csExtractText);
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    RecFileInfo entry;
    entry.m_strPath = path;
    analysis->ExtractEntryText(entry);
    CTextData text;
    analysis->ExtractText(path, text);
    CFileAnalysis::CheckH264(path);
    CFileAnalysis::ReleaseInstance();
    LeaveCriticalSection(&g_csExtractText);
    std::remove(native.c_str());
    return 0;
}
