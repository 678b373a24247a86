// The six recording categories of the main dialog and the rules that fill them: which card
// folders go into which category, where an opened or dropped file belongs, and taking one
// recording out of a list with its pair kept consistent.
#pragma once

#include <string>

#include "playback/FileAnalysis.h"
#include "playback/RecFileInfo.h"

// The model whose cameras also save event recordings into "DUALSAVE".
constexpr const char* kDualSaveModel = "Q914";

// Empties the six maps (indexed by RecordingCategory) and scans the card's recording folders
// into them (root with its final
// backslash, "E:\"); "DUALSAVE" only when model is exactly "Q914". No telemetry is extracted.
void ScanCardFolders(CFileAnalysis& analysis, const std::wstring& root, const std::string& model,
                     RecFileMap (&maps)[6]);

// The category of a recording by the name of the folder it lies in (exact names, as the camera
// writes them): unknown folders go to the continuous list.
int CategoryOfFolder(const std::wstring& folderName);

// ".mp4" or ".avi" at the end of the path, in any letter case.
bool IsRecordingPath(const std::wstring& path);
bool IsMP4Path(const std::wstring& path);

// Splits a path at its last backslash: the folder's own name and the file name.
void SplitRecordingPath(const std::wstring& path, std::wstring* folderName, std::wstring* fileName);

// The key of the other channel of a paired recording ("..._F" for "..._R" and back); empty
// when the key names no channel.
std::wstring PartnerKey(const std::wstring& key);

// Takes the entry with this key out of the map and, when it was one half of a pair, leaves its
// partner (found by name, so an incomplete pair or the end of the map is no problem) as an
// unpaired recording. Returns the removed entry's path; FALSE when there is no such entry.
BOOL RemoveRecording(RecFileMap& map, const std::wstring& key, std::wstring* path);
