#include "Info.h"

#include "FFmpegOwners.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace mkcard {

namespace {

bool IsRecording(const fs::path& p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".mp4" || ext == ".mov" || ext == ".avi";
}

std::string Format(const char* fmt, double a)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

// Describes one recording; false when it cannot be read (the reason is printed).
bool Describe(const fs::path& file, const std::string& shownName, std::ostream& out)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(file, ec);
    out << shownName << '\n';
    if (ec) {
        out << "  cannot read: " << ec.message() << "\n\n";
        return false;
    }
    if (size == 0) {
        out << "  cannot open: empty file (0 bytes)\n\n";
        return false;
    }
    int err = 0;
    InputContextPtr in = OpenInput(file.string(), &err);
    if (!in) {
        out << "  " << size << " bytes; cannot open: " << AvErrorText(err) << "\n\n";
        return false;
    }
    avformat_find_stream_info(in.get(), nullptr);

    // Telemetry lines: the packets of the first text track, as the viewer reads them.
    int textStream = -1;
    for (unsigned i = 0; i < in->nb_streams && textStream < 0; ++i)
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
            textStream = static_cast<int>(i);
    int lines = 0;
    if (textStream >= 0) {
        PacketPtr pkt(av_packet_alloc());
        if (!pkt)
            throw std::bad_alloc();
        while (av_read_frame(in.get(), pkt.get()) >= 0) {
            if (pkt->stream_index == textStream)
                ++lines;
            av_packet_unref(pkt.get());
        }
    }

    out << "  " << size << " bytes";
    if (in->duration != AV_NOPTS_VALUE)
        out << ", " << Format("%.2f", in->duration / double(AV_TIME_BASE)) << " s";
    out << '\n';
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVCodecParameters* par = in->streams[i]->codecpar;
        const char* codec = avcodec_get_name(par->codec_id);
        switch (par->codec_type) {
            case AVMEDIA_TYPE_VIDEO: {
                const AVRational fr = in->streams[i]->avg_frame_rate;
                out << "  video  " << codec << ", " << par->width << 'x' << par->height;
                if (fr.num > 0 && fr.den > 0)
                    out << ", " << Format("%.2f", av_q2d(fr)) << " fps";
                out << '\n';
                break;
            }
            case AVMEDIA_TYPE_AUDIO:
                out << "  audio  " << codec << ", " << par->sample_rate << " Hz, "
                    << par->ch_layout.nb_channels << " channels\n";
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                out << "  text   " << codec;
                if (static_cast<int>(i) == textStream)
                    out << ", " << lines << (lines == 1 ? " telemetry line" : " telemetry lines");
                out << '\n';
                break;
            default:
                out << "  other  " << codec << '\n';
                break;
        }
    }
    if (textStream < 0)
        out << "  no telemetry\n";
    out << '\n';
    return true;
}

}  // namespace

int PrintRecordings(const fs::path& path, std::ostream& out)
{
    // Damaged recordings are reported in their block; FFmpeg's own complaints would bury it.
    av_log_set_level(AV_LOG_FATAL);
    if (!fs::exists(path))
        throw std::runtime_error(path.string() + " does not exist");
    if (!fs::is_directory(path))
        return Describe(path, path.string(), out) ? 0 : 1;

    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(path))
        if (entry.is_regular_file() && IsRecording(entry.path()))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [&](const fs::path& a, const fs::path& b) {
        return a.lexically_relative(path).generic_string() <
               b.lexically_relative(path).generic_string();
    });

    int unreadable = 0;
    for (const fs::path& f : files)
        if (!Describe(f, f.lexically_relative(path).generic_string(), out))
            ++unreadable;
    out << files.size() << " recordings under " << path.string();
    if (unreadable)
        out << ", " << unreadable << " unreadable";
    out << '\n';
    return unreadable;
}

}  // namespace mkcard
