// Recording analysis: files on disk become entries of the recording maps (status, front/rear
// pairing, key, optionally their telemetry); folder trees are scanned for recordings; the
// telemetry of MP4 text tracks and AVI text chunks is extracted; and the recordings whose GPS
// track enters an area are found.
//
// Everything runs on the caller's thread. The maps are not locked here: the user-interface
// thread builds them, and the file-parsing thread only fills the telemetry of their entries.
#pragma once

#include <string>

#include "platform/kernel.h"
#include "playback/RecFileInfo.h"
#include "playback/TextData.h"

// The extraction lock: every telemetry extraction and every AVI codec check runs under it, one
// recording at a time. Defined, initialised and deleted by the main dialog; a program without
// the dialog (a test) defines and initialises it itself.
extern CRITICAL_SECTION g_csExtractText;

class CFileAnalysis {
public:
    // The one process-wide instance, created on first use. Each GetInstance is paired with a
    // ReleaseInstance; the instance is deleted by the release that ends its last use, so that
    // the file-parsing thread's release never ends another thread's use. Both may be called
    // from any thread.
    static CFileAnalysis* GetInstance();
    // Nothing when no instance exists.
    static void ReleaseInstance();

    // Reads the file's status and inserts its entry under its key into map, pairing an MP4
    // recording with its partner (whose entry this call inserts too) and, when extract is TRUE,
    // extracting its telemetry under g_csExtractText (the caller must not hold the lock on
    // another thread's behalf). fileName is the part of path after its last backslash.
    // channelHint is 0 for every outside caller. FALSE when the file's status cannot be read
    // (nothing is inserted), else TRUE; a key already present keeps its entry.
    BOOL AnalysisFile(const std::wstring& path, const std::wstring& fileName, RecFileMap& map,
                      BOOL extract, int channelHint);

    // Adds every ".avi" and ".mp4" file of the folder (a path without trailing backslash) and
    // of its sub-folders to map, without extracting telemetry: a folder's files before its
    // sub-folders, each in listing order. Empty files are left out. A folder reached twice
    // (through a symbolic link back into the tree) is scanned once.
    void ScanFolder(const std::wstring& folder, RecFileMap& map);

    // The recording is read as MP4 (playback graph, telemetry): not an ".avi" file, and it
    // opens as an MP4 recording with H.264 video.
    BOOL IsMP4Recording(const std::wstring& path);
    // An ".avi" file whose name begins, in exactly this case, with "Rec_", "Event_", "Park_" or
    // "Manual_": its text chunks hold new-style lines (CTextData::ParseNewLine).
    BOOL IsNewNameFile(const std::wstring& path);

    // Appends the telemetry of the recording at path to text (not cleared first): the text
    // track of an MP4 recording, the index's text chunks of any other file. Caller holds
    // g_csExtractText. A damaged file gives what could be read before the damage. A framework
    // exception (CException*) from a read reaches the caller; the file is closed.
    void ExtractText(const std::wstring& path, CTextData& text);
    // The MP4 path of ExtractText: every text-track packet of 3 to 150 bytes, its text from
    // offset 2 up to a first zero byte, as a line for CTextData::ParseLine.
    void ExtractTextTrack(const std::wstring& path, CTextData& text);

    // Extracts the entry's telemetry into a fresh CTextData that then replaces the entry's, so
    // that a second extraction never adds to the first, and marks the entry parsed when the
    // extraction ran to its end (also when it found nothing). A framework exception is caught
    // and deleted here: the entry keeps what was read before it, stays unparsed, and FALSE is
    // returned. Caller holds g_csExtractText.
    BOOL ExtractEntryText(RecFileInfo& entry);

    // TRUE when the first stream header of the AVI file names the H.264 codec ("H264" or
    // "AVC1", exactly); FALSE for other codecs and for files that cannot be opened or read
    // that far. Caller holds g_csExtractText.
    static BOOL CheckH264(const std::wstring& path);

    // Copies into to (unless to holds the key already) every entry of from, in key order,
    // with a GPS fix strictly inside the box: latMin < latitude < latMax and lonMin <
    // longitude < lonMax, in the NMEA form of CGPSData (negative for south and west).
    static void FindRecordsInArea(double latMin, double latMax, double lonMin, double lonMax,
                                  const RecFileMap& from, RecFileMap& to);

private:
    CFileAnalysis() = default;
    ~CFileAnalysis() = default;

    void ExtractAviText(const std::wstring& path, CTextData& text);
};
