#include "playback/FileAnalysis.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

#include "filtercore/FindPartnerRecording.h"
#include "filtercore/ProbeRecording.h"
#include "filtercore/TextTrackReader.h"
#include "platform/mfc.h"
#include "playback/AviTelemetry.h"
#include "ui/DebugLog.h"

namespace {

// Packets of the MP4 text track outside these sizes are no telemetry lines.
constexpr size_t kMinPacketBytes = 3;
constexpr size_t kMaxPacketBytes = 150;
// A text chunk is read as its 8-byte header and at most 112 data bytes.
constexpr UINT kTextChunkBytes = 120;
constexpr UINT kTextDataBytes = 112;
// Index entries are read this many at a time.
constexpr size_t kIndexBlockEntries = 4096;

// The process-wide instance and the number of GetInstance calls not yet released; guarded by
// g_instanceLock.
std::mutex g_instanceLock;
CFileAnalysis* g_pInstance = nullptr;
int g_nInstanceUses = 0;

// Formats one trace line ("%ls" for wide strings) and hands it to the debug log.
template <class... Args>
void Trace(const wchar_t* format, Args... args)
{
    LogWrite(FormatText(format, args...));
}

// Holds g_csExtractText for as long as it lives.
class ExtractLock {
public:
    ExtractLock() { EnterCriticalSection(&g_csExtractText); }
    ~ExtractLock() { LeaveCriticalSection(&g_csExtractText); }
    ExtractLock(const ExtractLock&) = delete;
    ExtractLock& operator=(const ExtractLock&) = delete;
};

WCHAR FoldAscii(WCHAR c)
{
    return (c >= L'A' && c <= L'Z') ? WCHAR(c - L'A' + L'a') : c;
}

// The last four characters of text equal the lower-case extension, in any letter case.
bool EndsWithNoCase(const std::wstring& text, const wchar_t* extension)
{
    size_t n = std::wcslen(extension);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (FoldAscii(text[text.size() - n + i]) != extension[i])
            return false;
    }
    return true;
}

// The text after the last backslash, or the whole text without one.
std::wstring NameOf(const std::wstring& path)
{
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

DWORD Le32(const BYTE* p)
{
    return DWORD(p[0]) | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24);
}

// Reads exactly count bytes at position; false when the file ends first.
bool ReadAt(CFile& file, ULONGLONG position, void* buffer, UINT count)
{
    file.Seek(static_cast<LONGLONG>(position), CFile::begin);
    return file.Read(buffer, count) == count;
}

// Bytes of a field up to its first zero byte, as wide text.
std::wstring FieldText(const char* field, size_t size)
{
    const char* end = static_cast<const char*>(std::memchr(field, 0, size));
    return platform::AnsiToWide(std::string(field, end ? size_t(end - field) : size));
}

// Code points to UTF-16 code units, one by one.
class Utf16Units {
public:
    explicit Utf16Units(const std::wstring& text) : m_text(text) {}
    bool Done() const { return m_index >= m_text.size() && m_pending == 0; }
    unsigned Next()
    {
        if (m_pending) {
            unsigned unit = m_pending;
            m_pending = 0;
            return unit;
        }
        unsigned c = static_cast<unsigned>(m_text[m_index++]);
        if (c < 0x10000)
            return c;
        c -= 0x10000;
        m_pending = 0xDC00 + (c & 0x3FF);
        return 0xD800 + (c >> 10);
    }

private:
    const std::wstring& m_text;
    size_t m_index = 0;
    unsigned m_pending = 0;
};

}  // namespace

bool RecFileKeyLess::operator()(const std::wstring& a, const std::wstring& b) const
{
    Utf16Units x(a), y(b);
    while (!x.Done() && !y.Done()) {
        unsigned p = x.Next(), q = y.Next();
        if (p != q)
            return p < q;
    }
    return x.Done() && !y.Done();
}

std::wstring RecFileKey(const std::wstring& fileName)
{
    std::wstring key = fileName.size() < 4 ? fileName : fileName.substr(0, fileName.size() - 4);
    for (WCHAR& c : key) {
        if (c >= L'a' && c <= L'z')
            c = WCHAR(c - L'a' + L'A');
    }
    return key;
}

CFileAnalysis* CFileAnalysis::GetInstance()
{
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (!g_pInstance)
        g_pInstance = new CFileAnalysis();
    ++g_nInstanceUses;
    return g_pInstance;
}

void CFileAnalysis::ReleaseInstance()
{
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (!g_pInstance)
        return;
    if (--g_nInstanceUses > 0)
        return;
    delete g_pInstance;
    g_pInstance = nullptr;
    g_nInstanceUses = 0;
}

BOOL CFileAnalysis::AnalysisFile(const std::wstring& path, const std::wstring& fileName,
                                 RecFileMap& map, BOOL extract, int channelHint)
{
    CFileStatus status;
    if (!CFile::GetStatus(path.c_str(), status)) {
        Trace(L"AnalysisFile: File Open Error cause (%d) %ls", 0, path.c_str());
        return FALSE;
    }
    RecFileInfo entry;
    entry.m_strPath = path;
    entry.m_nSize = status.m_size;

    bool hasPartner = false;
    std::wstring partnerPath;
    int partnerHint = 0;
    if (EndsWithNoCase(fileName, L".mp4")) {
        int isRear = 0;
        if (FilterCore::FindPartnerRecording(path, &partnerPath, &isRear, 0)) {
            hasPartner = true;
            entry.m_nChannel = isRear ? CHANNEL_REAR : CHANNEL_FRONT;
            // A partner's own partner is not analysed again.
            partnerHint = channelHint != 0 ? 0 : (isRear ? CHANNEL_FRONT : CHANNEL_REAR);
        }
    }

    if (extract) {
        ExtractLock lock;
        Trace(L"AnalysisFile: >>> ExtractText Start  [%ls]", path.c_str());
        if (ExtractEntryText(entry))
            Trace(L"AnalysisFile: <<< ExtractText Completed [%ls]", path.c_str());
        else
            Trace(L"AnalysisFile: ExtractText Execption has occured  [%ls]", path.c_str());
    }

    const std::wstring key = RecFileKey(fileName);
    auto [position, inserted] = map.emplace(key, std::move(entry));

    if (hasPartner) {
        size_t slash = partnerPath.rfind(L'\\');
        if (inserted && partnerHint != 0 && slash != std::wstring::npos) {
            std::wstring partnerName = partnerPath.substr(slash + 1);
            if (!AnalysisFile(partnerPath, partnerName, map, extract, partnerHint))
                position->second.m_nChannel = CHANNEL_SINGLE;
        }
    } else if (!inserted && (channelHint == CHANNEL_FRONT || channelHint == CHANNEL_REAR)) {
        position->second.m_nChannel = channelHint;
    }
    return TRUE;
}

namespace {

// Where a folder really is on disk, links followed, to tell a folder already scanned.
std::string FolderIdentity(const std::wstring& folder)
{
    std::string native = platform::ToNativePath(folder);
    std::error_code error;
    std::filesystem::path real = std::filesystem::canonical(native, error);
    return error ? native : real.string();
}

void ScanTree(CFileAnalysis& analysis, const std::wstring& folder, RecFileMap& map,
              std::set<std::string>& scanned)
{
    if (!scanned.insert(FolderIdentity(folder)).second)
        return;
    const std::wstring pattern = folder + L"\\*.*";
    {
        CFileFind finder;
        BOOL more = finder.FindFile(pattern.c_str());
        while (more) {
            more = finder.FindNextFile();
            if (finder.IsDots() || finder.GetLength() == 0)
                continue;
            const std::wstring name = finder.GetFileName();
            if (EndsWithNoCase(name, L".avi") || EndsWithNoCase(name, L".mp4"))
                analysis.AnalysisFile(finder.GetFilePath(), name, map, FALSE, 0);
        }
    }
    CFileFind finder;
    BOOL more = finder.FindFile(pattern.c_str());
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDirectory() && !finder.IsDots())
            ScanTree(analysis, finder.GetFilePath(), map, scanned);
    }
}

}  // namespace

void CFileAnalysis::ScanFolder(const std::wstring& folder, RecFileMap& map)
{
    std::set<std::string> scanned;
    ScanTree(*this, folder, map, scanned);
}

BOOL CFileAnalysis::IsMP4Recording(const std::wstring& path)
{
    if (EndsWithNoCase(path, L".avi"))
        return FALSE;
    return FilterCore::ProbeRecording(path, nullptr) ? TRUE : FALSE;
}

BOOL CFileAnalysis::IsNewNameFile(const std::wstring& path)
{
    if (!EndsWithNoCase(path, L".avi"))
        return FALSE;
    const std::wstring name = NameOf(path);
    for (const wchar_t* prefix : {L"Rec_", L"Event_", L"Park_", L"Manual_"}) {
        if (name.compare(0, std::wcslen(prefix), prefix) == 0)
            return TRUE;
    }
    return FALSE;
}

void CFileAnalysis::ExtractText(const std::wstring& path, CTextData& text)
{
    if (IsMP4Recording(path))
        ExtractTextTrack(path, text);
    else
        ExtractAviText(path, text);
}

void CFileAnalysis::ExtractTextTrack(const std::wstring& path, CTextData& text)
{
    FilterCore::TextTrackReader reader;
    FilterCore::TextTrackList packets;
    if (reader.Read(path, &packets) <= 0)
        return;
    for (size_t i = 0; i < packets.size(); ++i) {
        const std::string& packet = packets[i];
        if (packet.size() < kMinPacketBytes || packet.size() > kMaxPacketBytes) {
            Trace(L"ExtractText: [%d] invalid chunk size = %d", int(i), int(packet.size()));
            continue;
        }
        text.ParseLine(FieldText(packet.data() + 2, packet.size() - 2));
    }
}

void CFileAnalysis::ExtractAviText(const std::wstring& path, CTextData& text)
{
    const DWORD start = GetTickCount();
    CFile file;
    CFileException error;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary,
                   &error)) {
        Trace(L"ExtractText: File Open Error cause (%d) %ls", error.m_cause, path.c_str());
        return;
    }

    // The header list's header at 12; a file too short for it is no AVI.
    BYTE header[12];
    bool readable;
    try {
        readable = ReadAt(file, 12, header, sizeof header);
    } catch (CException* e) {
        e->Delete();
        readable = false;
    }
    if (!readable) {
        Trace(L"ExtractText: Wrong File Open[%ls]", path.c_str());
        return;
    }

    // Positions are computed in 64 bits from the sizes the file states, so a damaged size can
    // only point past the end (where reading stops), never wrap around.
    const ULONGLONG length = file.GetLength();
    ULONGLONG list = 20 + ULONGLONG(Le32(header + 4));  // after the header list
    BYTE listHeader[12];
    bool found = ReadAt(file, list, listHeader, sizeof listHeader);
    if (found && std::memcmp(listHeader, "JUNK", 4) == 0) {
        list += 8 + ULONGLONG(Le32(listHeader + 4));
        found = ReadAt(file, list, listHeader, sizeof listHeader);
    }
    const ULONGLONG moviBase = list + 8;  // the list's type code "movi"
    const ULONGLONG indexHeader = list + 8 + ULONGLONG(Le32(listHeader + 4));
    BYTE indexBytes[8];
    if (!found || !ReadAt(file, indexHeader, indexBytes, sizeof indexBytes) ||
        std::memcmp(indexBytes, "idx1", 4) != 0) {
        Trace(L"ExtractText: Wrong File Open_T2[%ls]", path.c_str());
        return;
    }

    // The index never holds more entries than the bytes after its header.
    const ULONGLONG firstEntry = indexHeader + 8;
    ULONGLONG entries = Le32(indexBytes + 4) / sizeof(AviTextChunk);
    entries = std::min(entries, length > firstEntry ? (length - firstEntry) / 16 : 0);
    std::vector<AviTextChunk> chunks;
    std::vector<AviTextChunk> block(kIndexBlockEntries);
    file.Seek(static_cast<LONGLONG>(firstEntry), CFile::begin);
    for (ULONGLONG done = 0; done < entries;) {
        UINT want = static_cast<UINT>(std::min<ULONGLONG>(entries - done, block.size()));
        UINT got = file.Read(block.data(), want * sizeof(AviTextChunk)) / sizeof(AviTextChunk);
        for (UINT i = 0; i < got; ++i) {
            if (block[i].IsText())
                chunks.push_back(block[i]);
        }
        if (got < want)
            break;  // the file ended (it shrank while being read)
        done += got;
    }

    const bool newName = IsNewNameFile(path);
    DWORD lastSeconds = 0, lastTick = 0;
    int counter = 1;
    for (const AviTextChunk& chunk : chunks) {
        TelemetrySample sample;
        if (ReadAt(file, ULONGLONG(chunk.dwOffset) + 8, &sample, sizeof sample) &&
            sample.IsSample()) {
            if (!sample.IsUsable())
                continue;
            if (lastSeconds < sample.dwSeconds) {
                // The first record of a second gives the second's fix and its own reading.
                text.AddGPSSample(&sample);
                text.AddGSensorSample(&sample);
                lastSeconds = sample.dwSeconds;
                lastTick = sample.Tick();
            } else if (lastTick < sample.Tick()) {
                text.AddGSensorSample(&sample);
                lastTick = sample.Tick();
            }
            continue;
        }

        BYTE bytes[kTextChunkBytes];
        file.Seek(static_cast<LONGLONG>(moviBase + chunk.dwOffset), CFile::begin);
        UINT got = file.Read(bytes, sizeof bytes);
        if (got < 8) {
            ++counter;  // no chunk header there: the index points past the end
            continue;
        }
        const DWORD size = Le32(bytes + 4);
        if (size > kTextChunkBytes) {
            Trace(L"ExtractText:  [%d/%d] * invalid chunk size = %d", counter, int(chunks.size()),
                  int(size));
            ++counter;
            continue;
        }
        ++counter;
        // Only the data bytes that were read count, and never more than the 112 a chunk holds.
        const UINT available = got - 8;
        const BYTE* data = bytes + 8;
        if (size == kTextDataBytes && available == kTextDataBytes && data[93] != 0) {
            TelemetryPair pair;
            std::memcpy(&pair, data, sizeof pair);
            text.AddGPSPair(FieldText(pair.szSentence, sizeof pair.szSentence),
                            FieldText(pair.szGSensor, sizeof pair.szGSensor));
            continue;
        }
        const std::wstring line =
            FieldText(reinterpret_cast<const char*>(data), std::min<size_t>(size, available));
        if (newName)
            text.ParseNewLine(line);
        else
            text.ParseLine(line);
    }

    file.Close();
    Trace(L"ExtractText: Elapsed Time: <%d ms> GSensor=%d, GPS=%d", int(GetTickCount() - start),
          int(text.m_GSensorList.size()), int(text.m_GPSList.size()));
}

BOOL CFileAnalysis::ExtractEntryText(RecFileInfo& entry)
{
    CTextData fresh;
    BOOL completed = TRUE;
    try {
        ExtractText(entry.m_strPath, fresh);
    } catch (CException* e) {
        e->Delete();
        completed = FALSE;
    }
    entry.m_TextData = std::move(fresh);
    if (completed)
        entry.m_bTextParsed = TRUE;
    return completed;
}

BOOL CFileAnalysis::CheckH264(const std::wstring& path)
{
    CFile file;
    CFileException error;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary,
                   &error)) {
        Trace(L"File Open Error[CheckH264] cause (%d) %ls", error.m_cause, path.c_str());
        return FALSE;
    }
    // The header list's header, the main header (8 + 56 bytes), the first stream list's header
    // and the stream header's chunk header (20 bytes), then the stream header itself.
    BYTE streamHeader[64];
    try {
        if (!ReadAt(file, 12 + 12 + 8 + 56 + 20, streamHeader, sizeof streamHeader))
            return FALSE;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
    file.Abort();
    return std::memcmp(streamHeader + 4, "H264", 4) == 0 ||
                   std::memcmp(streamHeader + 4, "AVC1", 4) == 0
               ? TRUE
               : FALSE;
}

void CFileAnalysis::FindRecordsInArea(double latMin, double latMax, double lonMin, double lonMax,
                                      const RecFileMap& from, RecFileMap& to)
{
    for (const auto& [key, entry] : from) {
        for (const CGPSData& fix : entry.m_TextData.m_GPSList) {
            if (fix.m_dLatitude > latMin && fix.m_dLatitude < latMax && fix.m_dLongitude > lonMin &&
                fix.m_dLongitude < lonMax) {
                to.emplace(key, entry);
                break;
            }
        }
    }
}
