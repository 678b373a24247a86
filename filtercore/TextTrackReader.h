// Reads every packet of a recording's text track (its telemetry) as raw bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace FilterCore {

// Byte strings owned by the caller, one per text packet, in file order.
typedef std::vector<std::string> TextTrackList;

class TextTrackReader {
public:
    // Appends one entry per packet of the first subtitle-type stream of the recording at a
    // Windows path, holding exactly the packet's bytes, and returns how many it appended; 0 when
    // the file cannot be opened (a path that names no regular file among them) or has no text
    // track. The list is not cleared first. Only the text track's samples are read from the
    // file; in an MP4 recording exactly their own bytes, the reads of up to 256 samples handed
    // to the kernel together.
    //
    // What a read holds is bounded whatever the file claims: a sample larger than any telemetry
    // line (over 4 KB) is skipped, in an MP4 without being read, and nothing more is appended
    // once the entries appended by this call take 16 MB.
    int Read(const std::wstring& path, TextTrackList* list);

    // The most bytes of sample data the last Read held at once: the entries it had appended
    // (each with its string object) and the samples it was reading (at most 256 of at most 4 KB).
    size_t PeakHeldBytes() const { return m_peakHeldBytes; }

    // Set by the reader's creator before reading and, to end a running Read after the packet in
    // hand, by any other thread. Read does not reset it.
    std::atomic<bool> m_cancel{false};

private:
    size_t m_peakHeldBytes = 0;
};

}  // namespace FilterCore
