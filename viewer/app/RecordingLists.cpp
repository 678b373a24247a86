// The recording categories and the rules that fill them.
#include "app/RecordingLists.h"

#include "app/TessalyDlg.h"

#include <cwctype>

namespace {

struct CardFolder {
    const wchar_t* name;
    int category;
    bool dualSaveOnly;
};

// In the order the lists are built; a key found twice keeps its first entry.
constexpr CardFolder kCardFolders[] = {
    {L"cont_rec", CATEGORY_CONTINUOUS, false},
    {L"DUALSAVE", CATEGORY_EVENT, true},
    {L"evt_rec", CATEGORY_EVENT, false},
    {L"manual_rec", CATEGORY_MANUAL, false},
    {L"motion_rec", CATEGORY_MOTION, false},
    {L"motion_timelapse_rec", CATEGORY_MOTION, false},
    {L"parking_rec", CATEGORY_PARKING, false},
};

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix)
{
    size_t n = std::char_traits<wchar_t>::length(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        wchar_t c = text[text.size() - n + i];
        if (c < 0x80)
            c = wchar_t(std::towlower(wint_t(c)));
        if (c != suffix[i])
            return false;
    }
    return true;
}

}  // namespace

void ScanCardFolders(CFileAnalysis& analysis, const std::wstring& root, const std::string& model,
                     RecFileMap (&maps)[6])
{
    for (RecFileMap& map : maps)
        map.clear();
    for (const CardFolder& folder : kCardFolders) {
        if (folder.dualSaveOnly && model != kDualSaveModel)
            continue;
        analysis.ScanFolder(root + folder.name, maps[folder.category]);
    }
}

int CategoryOfFolder(const std::wstring& folderName)
{
    for (const CardFolder& folder : kCardFolders) {
        if (folderName == folder.name)
            return folder.category;
    }
    return CATEGORY_CONTINUOUS;
}

bool IsRecordingPath(const std::wstring& path)
{
    return EndsWithNoCase(path, L".mp4") || EndsWithNoCase(path, L".avi");
}

bool IsMP4Path(const std::wstring& path)
{
    return EndsWithNoCase(path, L".mp4");
}

void SplitRecordingPath(const std::wstring& path, std::wstring* folderName, std::wstring* fileName)
{
    size_t slash = path.rfind(L'\\');
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    *fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t parent = folder.rfind(L'\\');
    *folderName = parent == std::wstring::npos ? folder : folder.substr(parent + 1);
}

std::wstring PartnerKey(const std::wstring& key)
{
    if (key.size() < 2 || key[key.size() - 2] != L'_')
        return std::wstring();
    wchar_t last = key.back();
    if (last != L'F' && last != L'R')
        return std::wstring();
    std::wstring partner = key;
    partner.back() = last == L'F' ? L'R' : L'F';
    return partner;
}

BOOL RemoveRecording(RecFileMap& map, const std::wstring& key, std::wstring* path)
{
    auto it = map.find(key);
    if (it == map.end())
        return FALSE;
    int channel = it->second.m_nChannel;
    if (path)
        *path = it->second.m_strPath;
    map.erase(it);
    if (channel == CHANNEL_FRONT || channel == CHANNEL_REAR) {
        auto partner = map.find(PartnerKey(key));
        int partnerChannel = channel == CHANNEL_FRONT ? CHANNEL_REAR : CHANNEL_FRONT;
        if (partner != map.end() && partner->second.m_nChannel == partnerChannel)
            partner->second.m_nChannel = CHANNEL_SINGLE;
    }
    return TRUE;
}
