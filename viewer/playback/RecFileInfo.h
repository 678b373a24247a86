// A recording's entry in the recording maps, and the maps themselves.
#pragma once

#include <map>
#include <string>

#include "platform/base.h"
#include "playback/TextData.h"

// Codec states of an entry.
enum {
    CODEC_UNTESTED = 0,
    CODEC_PLAYABLE = 1,
    CODEC_UNSUPPORTED = 2,
};

// Channels of an entry: the pair types of the recording list.
enum {
    CHANNEL_SINGLE = 0,  // a recording without partner
    CHANNEL_FRONT = 1,   // the front recording of a pair
    CHANNEL_REAR = 2,    // the rear recording of a pair
};

// One recording. Copied by value: a copy holds its own copy of the telemetry.
struct RecFileInfo {
    std::wstring m_strPath;  // the full path as the file was found or given
    ULONGLONG m_nSize = 0;   // bytes, as the file's status reported them
    CTextData m_TextData;    // empty until extracted
    int m_nCodecState = CODEC_UNTESTED;
    int m_nChannel = CHANNEL_SINGLE;
    // Set once an extraction of this recording has run to its end, whatever it found; a
    // recording without G-sensor samples is parsed all the same, and is not extracted again.
    // An extraction that failed half-way leaves it clear, so that a later pass tries again
    // (replacing, not adding to, what that extraction read).
    BOOL m_bTextParsed = FALSE;
};

// Keys compare as UTF-16 code-unit sequences (ordinal, no locale), so that the maps iterate
// as they do where strings are UTF-16: characters above U+FFFF sort before U+E000..U+FFFF.
struct RecFileKeyLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// Recordings by key: the file name without its extension, in upper case.
typedef std::map<std::wstring, RecFileInfo, RecFileKeyLess> RecFileMap;

// The key of a file name: without its last four characters (the dot and a three-letter
// extension), in upper case (ASCII letters, as the C locale upper-cases them). A name shorter
// than four characters has no extension to remove and is its own key.
std::wstring RecFileKey(const std::wstring& fileName);
