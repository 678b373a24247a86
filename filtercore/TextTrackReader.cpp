#include "filtercore/TextTrackReader.h"

#include "filtercore/FFmpegOwners.h"
#include "platform/kernel.h"

namespace FilterCore {

int TextTrackReader::Read(const std::wstring& path, TextTrackList* list)
{
    if (!list) return 0;
    std::string url = FFmpegFileUrl(platform::ToNativePath(path));
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, url.c_str(), nullptr, nullptr) < 0) return 0;
    FormatContextPtr format(opened);

    int text = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (text < 0 && stream && stream->codecpar &&
            stream->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            text = static_cast<int>(i);
        }
    }
    if (text < 0) return 0;
    // The demultiplexer skips the samples of every other track without reading them.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]) {
            format->streams[i]->discard =
                static_cast<int>(i) == text ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
    }

    PacketPtr packet(av_packet_alloc());
    if (!packet) return 0;
    int count = 0;
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == text) {
            if (packet->data && packet->size > 0) {
                list->emplace_back(reinterpret_cast<const char*>(packet->data),
                                   static_cast<size_t>(packet->size));
            } else {
                list->emplace_back();
            }
            ++count;
        }
        av_packet_unref(packet.get());
        if (m_cancel.load()) break;
    }
    return count;
}

}  // namespace FilterCore
