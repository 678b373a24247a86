#include "AviSingles.h"

#include "AviWriter.h"
#include "Card.h"

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace mkcard {

const std::vector<std::string>& AviKinds()
{
    static const std::vector<std::string> kinds = {"samples",   "lines", "newstyle",
                                                   "short",     "pastend", "hugeindex",
                                                   "sizes",     "lowercase", "dualvideo",
                                                   "undeclared", "nosound"};
    return kinds;
}

std::string AviFixtureName(const std::string& kind)
{
    return kind == "newstyle" ? "Rec_0001.avi" : kind + ".avi";
}

void WriteAvi(const std::string& kind, const fs::path& out, const SingleOptions& options)
{
    if (std::find(AviKinds().begin(), AviKinds().end(), kind) == AviKinds().end())
        throw std::invalid_argument("unknown AVI kind \"" + kind + "\"");
    AviOptions avi;
    if (kind == "samples") {
        avi.style = AviTelemetryStyle::Samples;
        avi.junk = false;
    } else if (kind == "newstyle") {
        avi.style = AviTelemetryStyle::NewLines;
    } else if (kind == "short") {
        avi.damage = AviDamage::CutIndex;
    } else if (kind == "pastend") {
        avi.damage = AviDamage::IndexPastEnd;
    } else if (kind == "hugeindex") {
        avi.damage = AviDamage::HugeIndexSize;
    } else if (kind == "sizes") {
        avi.damage = AviDamage::OversizedTextChunks;
    } else if (kind == "lowercase") {
        avi.damage = AviDamage::LowerCaseHandler;
    } else if (kind == "undeclared") {
        avi.damage = AviDamage::UndeclaredStream;
    } else if (kind == "dualvideo") {
        avi.rearVideo = true;
    }
    RecordingSpec spec;
    spec.width = options.width;
    spec.height = options.height;
    spec.fps = options.fps;
    spec.videoKbps = options.videoKbps;
    spec.seconds = options.seconds;
    spec.sampleRate = 16000;
    if (kind == "nosound")
        spec.audio = AudioCodec::None;
    if (out.has_parent_path())
        fs::create_directories(out.parent_path());
    AviWriter(avi).Write(spec, out);
}

void WriteAviFixtures(const fs::path& dir)
{
    fs::create_directories(dir);
    SingleOptions single;  // 3 s: the sample kind's special records lie in seconds 1 and 2
    for (const std::string& kind : AviKinds())
        WriteAvi(kind, dir / AviFixtureName(kind), single);
    CardOptions card;
    card.avi = true;
    card.setupCfg = false;
    AviOptions style;
    style.style = AviTelemetryStyle::NewLines;
    WriteCard(dir / "card", card, AviWriter(style));
}

}  // namespace mkcard
