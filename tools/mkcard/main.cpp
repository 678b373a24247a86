// mkcard: writes dash-camera memory cards and test recordings, and lists recordings.
// Exit status 0 on success, 1 when writing or reading fails, 2 for bad arguments.

#include "AviSingles.h"
#include "AviWriter.h"
#include "Card.h"
#include "Info.h"
#include "Mp4Writer.h"
#include "Singles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  mkcard card <dir> [--size WxH] [--seconds S] [--fps F] [--bitrate KBPS] [--model NAME] [--local-id N]\n"
    "                    [--blackbox-cfg] [--no-setup-cfg] [--avi]\n"
    "  mkcard single <kind> <out-file> [--size WxH] [--seconds S] [--fps F] [--bitrate KBPS]\n"
    "  mkcard avi <avi-kind> <out-file> [--size WxH] [--seconds S] [--fps F] [--bitrate KBPS]\n"
    "  mkcard fixtures <dir>\n"
    "  mkcard info <dir-or-file>\n"
    "kinds: pair normal noaudio pcm_s16le pcm_s16be mp3 mpeg4 bframes tiny16 oneframe audioonly\n"
    "       notext truncated empty badavcc hugetext\n"
    "avi kinds: samples lines newstyle short pastend hugeindex sizes lowercase dualvideo\n"
    "           undeclared nosound\n";

// A command-line mistake: reported with the usage text, exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // option -> value
    std::set<std::string> flags;
};

Arguments Parse(int argc, char** argv, const std::set<std::string>& valued,
                const std::set<std::string>& flags)
{
    Arguments a;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            a.positional.push_back(arg);
        } else if (valued.count(arg)) {
            if (i + 1 >= argc)
                throw UsageError(arg + " needs a value");
            if (!a.values.emplace(arg, argv[++i]).second)
                throw UsageError(arg + " given twice");
        } else if (flags.count(arg)) {
            a.flags.insert(arg);
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    return a;
}

long ParseInt(const std::string& text, const std::string& what, long low, long high)
{
    long v = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || v < low || v > high)
        throw UsageError(what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\"");
    return v;
}

template <typename Options>
void ParseCommon(const Arguments& a, Options& o)
{
    if (auto it = a.values.find("--size"); it != a.values.end()) {
        const std::string& s = it->second;
        const size_t x = s.find('x');
        if (x == std::string::npos)
            throw UsageError("--size must be WxH, for instance 320x180, not \"" + s + "\"");
        o.width = static_cast<int>(ParseInt(s.substr(0, x), "the width", 2, 4096));
        o.height = static_cast<int>(ParseInt(s.substr(x + 1), "the height", 2, 4096));
        if (o.width % 2 || o.height % 2)
            throw UsageError("--size needs an even width and height, not " + s);
    }
    if (auto it = a.values.find("--fps"); it != a.values.end())
        o.fps = static_cast<int>(ParseInt(it->second, "--fps", 1, 120));
    if (auto it = a.values.find("--bitrate"); it != a.values.end())
        o.videoKbps = static_cast<int>(ParseInt(it->second, "--bitrate", 100, 100000));
    if (auto it = a.values.find("--seconds"); it != a.values.end()) {
        const std::string& s = it->second;
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (s.empty() || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 3600)
            throw UsageError("--seconds must be a number above 0 and at most 3600, not \"" + s +
                             "\"");
        o.seconds = v;
    }
}

void NeedPositional(const Arguments& a, size_t n, const char* what)
{
    if (a.positional.size() < n)
        throw UsageError(std::string("missing ") + what);
    if (a.positional.size() > n)
        throw UsageError("unexpected argument \"" + a.positional[n] + "\"");
}

int Run(int argc, char** argv)
{
    if (argc < 2)
        throw UsageError("missing command");
    const std::string command = argv[1];
    const mkcard::Mp4Writer writer;

    if (command == "card") {
        const Arguments a =
            Parse(argc, argv, {"--size", "--seconds", "--fps", "--bitrate", "--model", "--local-id"},
                  {"--blackbox-cfg", "--no-setup-cfg", "--avi"});
        NeedPositional(a, 1, "the card folder");
        mkcard::CardOptions o;
        ParseCommon(a, o);
        if (auto it = a.values.find("--model"); it != a.values.end())
            o.model = it->second;
        if (auto it = a.values.find("--local-id"); it != a.values.end())
            o.localId =
                static_cast<int32_t>(ParseInt(it->second, "--local-id", INT32_MIN, INT32_MAX));
        o.blackboxCfg = a.flags.count("--blackbox-cfg") > 0;
        o.setupCfg = a.flags.count("--no-setup-cfg") == 0;
        o.avi = a.flags.count("--avi") > 0;
        try {
            mkcard::DeviceRecord(o);  // checks the model before any file is written
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
        mkcard::AviOptions aviStyle;
        aviStyle.style = mkcard::AviTelemetryStyle::NewLines;
        const mkcard::AviWriter aviWriter(aviStyle);
        const int n = mkcard::WriteCard(a.positional[0], o,
                                        o.avi ? static_cast<const mkcard::RecordingWriter&>(aviWriter)
                                              : writer);
        std::cout << "mkcard: wrote a " << o.model << " card with " << n << " recordings to "
                  << a.positional[0] << '\n';
        return 0;
    }
    if (command == "single") {
        const Arguments a = Parse(argc, argv, {"--size", "--seconds", "--fps", "--bitrate"}, {});
        NeedPositional(a, 2, "the kind and the output file");
        const std::vector<std::string>& kinds = mkcard::SingleKinds();
        if (std::find(kinds.begin(), kinds.end(), a.positional[0]) == kinds.end())
            throw UsageError("unknown kind \"" + a.positional[0] + "\"");
        mkcard::SingleOptions o;
        ParseCommon(a, o);
        mkcard::WriteSingle(a.positional[0], a.positional[1], o);
        return 0;
    }
    if (command == "avi") {
        const Arguments a = Parse(argc, argv, {"--size", "--seconds", "--fps", "--bitrate"}, {});
        NeedPositional(a, 2, "the AVI kind and the output file");
        const std::vector<std::string>& kinds = mkcard::AviKinds();
        if (std::find(kinds.begin(), kinds.end(), a.positional[0]) == kinds.end())
            throw UsageError("unknown AVI kind \"" + a.positional[0] + "\"");
        mkcard::SingleOptions o;
        ParseCommon(a, o);
        mkcard::WriteAvi(a.positional[0], a.positional[1], o);
        return 0;
    }
    if (command == "fixtures") {
        const Arguments a = Parse(argc, argv, {}, {});
        NeedPositional(a, 1, "the fixture folder");
        mkcard::WriteFixtures(a.positional[0]);
        std::cout << "mkcard: wrote the test fixtures to " << a.positional[0] << '\n';
        return 0;
    }
    if (command == "info") {
        const Arguments a = Parse(argc, argv, {}, {});
        NeedPositional(a, 1, "the folder or file");
        return mkcard::PrintRecordings(a.positional[0], std::cout) == 0 ? 0 : 1;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "mkcard: " << e.what() << '\n' << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "mkcard: " << e.what() << '\n';
        return 1;
    }
}
