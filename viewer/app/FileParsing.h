// The walk of the file-parsing thread over the recording maps: every entry whose telemetry has
// not been read yet is extracted, one recording at a time under g_csExtractText, with the
// progress reported after each entry.
#pragma once

#include <atomic>
#include <functional>

#include "playback/RecFileInfo.h"

// Visits the entries of maps[0] to maps[count - 1] in order, each map in key order, and
// extracts each entry not parsed yet, unless its telemetry is *inPlayer (the recording in the
// player, which the play command fills itself; read under the lock, where its writer sets it).
// The stop request is read before each map and each entry; an exception out of an extraction
// is traced and the entry counted like any other. progress gets the percent done,
// (int)(k / total x 100) truncated, after each entry k; after it the walk yields for 1 ms, and
// for 200 ms more at 100 %. True when every entry was visited, false when stopped. The maps
// must not change meanwhile; any thread.
bool ParseRecordingMaps(RecFileMap* maps, size_t count, const std::atomic<int>& stop,
                        const CTextData* const* inPlayer,
                        const std::function<void(int percent)>& progress);

// The number of entries of the maps.
size_t CountRecordings(const RecFileMap* maps, size_t count);
