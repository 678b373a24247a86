// The dual source filter before it streams: pairing a recording with its partner in Load, the
// pins and their media types, the custom interfaces, and the pins' seeking interface while the
// filter is stopped.
#include <algorithm>
#include <climits>
#include <cstring>

#include "CodecNameTable.h"
#include "KVAudioOutStream.h"
#include "KVVideoOutStream.h"
#include "SourceTesting.h"

using namespace sourcetest;

namespace {

std::wstring CurFile(IBaseFilter* filter)
{
    LPOLESTR name = nullptr;
    EXPECT_EQ(Query<IFileSourceFilter>(filter)->GetCurFile(&name, nullptr), S_OK);
    std::wstring result = name ? name : L"<null>";
    CoTaskMemFree(name);
    return result;
}

int RearChannel(IBaseFilter* filter)
{
    int front = -1, rear = -1;
    EXPECT_EQ(Query<IKVMP4DualSourceInfo>(filter)->GetChannelInfo(&front, &rear), S_OK);
    EXPECT_EQ(front, 1);
    return rear;
}

// The one media type a pin offers, or none.
bool PinType(IPin* pin, CMediaType* type)
{
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(&types)))
        return false;
    AM_MEDIA_TYPE* offered = nullptr;
    if (types->Next(1, &offered, nullptr) != S_OK)
        return false;
    *type = *offered;
    DeleteMediaType(offered);
    return true;
}

// The sample rate of the pin named "Front Audio": it tells which recording core 0 opened (the
// card's fronts have 48 kHz sound, its rears 44.1 kHz). 0 without that pin.
DWORD FrontAudioRate(IBaseFilter* filter)
{
    for (const ComPtr<IPin>& pin : Pins(filter)) {
        if (PinName(pin.Get()) != L"Front Audio")
            continue;
        CMediaType type;
        if (!PinType(pin.Get(), &type) || type.FormatLength() < sizeof(WAVEFORMATEX))
            return 0;
        return reinterpret_cast<const WAVEFORMATEX*>(type.Format())->nSamplesPerSec;
    }
    return 0;
}

short TrackCount(IBaseFilter* filter, bool audio)
{
    short count = -1;
    ComPtr<IKVTrackInfo> info = Query<IKVTrackInfo>(filter);
    EXPECT_EQ(audio ? info->GetAudioTrackCount(&count) : info->GetVideoTrackCount(&count), S_OK);
    return count;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Load

TEST(DualSourceLoad, PairsTheRecordingWithItsPartnerAndOrdersThePins)
{
    const std::vector<std::wstring> four = {L"Front Video", L"Front Audio", L"Rear Video",
                                            L"Rear Audio"};
    const std::vector<std::wstring> frontPair = {L"Front Video", L"Front Audio"};
    struct Case {
        const char* what;
        std::string file;
        bool single;
        std::vector<std::wstring> pins;
        int rear;
        DWORD frontAudioRate;  // which file core 0 holds
        short audioTracks;
        short videoTracks;
    } cases[] = {
        {"front with a partner that has sound", kPairFront, false, four, 1, 48000, 2, 2},
        {"front with a silent partner",
         kSilentRearFront,
         false,
         {L"Front Video", L"Front Audio", L"Rear Video"},
         1,
         48000,
         1,
         2},
        {"rear given first: the front goes to core 0", kPairRear, false, four, 1, 48000, 2, 2},
        {"rear without a front: alone in core 0", kRearOnly, false, {L"Front Video"}, 0, 0, 0, 1},
        {"single-file mode leaves the partner out", kPairFront, true, frontPair, 0, 48000, 1, 1},
        {"single-file mode on a rear file", kPairRear, true, frontPair, 0, 44100, 1, 1},
        {"front without a partner", kFrontOnly, false, frontPair, 0, 48000, 1, 1},
        {"a name that does not parse is opened alone", "single/normal.mp4", false, frontPair, 0,
         48000, 1, 1},
        {"sound only", "single/audioonly.mp4", false, {L"Front Audio"}, 0, 48000, 1, 0},
        {"picture only", "single/noaudio.mp4", false, {L"Front Video"}, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IBaseFilter> filter = LoadSource(Fixture(c.file), c.single);
        ASSERT_TRUE(filter);
        EXPECT_EQ(PinNames(filter.Get()), c.pins);
        EXPECT_EQ(RearChannel(filter.Get()), c.rear);
        EXPECT_EQ(FrontAudioRate(filter.Get()), c.frontAudioRate);
        EXPECT_EQ(TrackCount(filter.Get(), true), c.audioTracks);
        EXPECT_EQ(TrackCount(filter.Get(), false), c.videoTracks);
        // The path as it was given, also when the front file was opened in its place.
        EXPECT_EQ(CurFile(filter.Get()), Fixture(c.file));
    }
}

TEST(DualSourceLoad, ATolerantSearchKeepsEachChannelInItsOwnCore)
{
    TempFolder folder;
    const std::wstring front = folder.Copy(kPairFront, "REC_2018_09_10_12_30_45_F.mp4");
    const std::wstring rear = folder.Copy(kPairRear, "REC_2018_09_10_12_30_47_R.mp4");
    struct Case {
        const char* what;
        std::wstring file;
        int tolerance;
        int rear;
        DWORD frontAudioRate;
    } cases[] = {
        {"front, partner two seconds later", front, 5, 1, 48000},
        {"rear whose front starts two seconds earlier", rear, 5, 1, 48000},
        {"rear without its exact front", rear, 0, 0, 44100},
        {"front without its exact rear", front, 0, 0, 48000},
        {"partner beyond the tolerance", front, 1, 0, 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IBaseFilter> filter = CreateSource();
        ASSERT_TRUE(filter);
        EXPECT_EQ(Query<IKVMP4DualSourceInfo>(filter.Get())->SetPairTolerance(c.tolerance), S_OK);
        ASSERT_EQ(Query<IFileSourceFilter>(filter.Get())->Load(c.file.c_str(), nullptr), S_OK);
        EXPECT_EQ(RearChannel(filter.Get()), c.rear);
        EXPECT_EQ(FrontAudioRate(filter.Get()), c.frontAudioRate);
        EXPECT_EQ(Pins(filter.Get()).size(), c.rear ? 4u : 2u);
    }
}

TEST(DualSourceLoad, FailuresCreateNoPinsAndStoreNoName)
{
    TempFolder folder;
    const std::vector<char> whole = ReadBytes(Native(kPairRear));
    const std::wstring front = folder.Copy(kPairFront, "REC_2026_05_14_08_30_00_F.mp4");
    folder.Copy(kFrontOnly, "REC_2026_05_14_08_31_00_F.mp4");
    folder.Write("REC_2026_05_14_08_31_00_R.mp4",
                 std::vector<char>(whole.begin(), whole.begin() + long(whole.size() / 2)));
    folder.Copy("single/empty.mp4", "REC_2026_05_14_08_30_00_R.mp4");
    struct Case {
        const char* what;
        std::wstring file;
        HRESULT expected;
    } cases[] = {
        {"partner exists but is empty", front, E_FAIL},
        {"partner exists but is cut in half", folder.Windows("REC_2026_05_14_08_31_00_F.mp4"),
         E_FAIL},
        {"missing file", folder.Windows("REC_2026_05_14_09_00_00_F.mp4"), E_FAIL},
        {"empty file", Fixture("single/empty.mp4"), E_FAIL},
        {"truncated file", Fixture("single/truncated.mp4"), E_FAIL},
        {"video that is not H.264", Fixture("single/mpeg4.mp4"), E_FAIL},
        {"an AVI recording", Fixture("avi/samples.avi"), E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IBaseFilter> filter = CreateSource();
        ASSERT_TRUE(filter);
        EXPECT_EQ(Query<IFileSourceFilter>(filter.Get())->Load(c.file.c_str(), nullptr),
                  c.expected);
        EXPECT_TRUE(Pins(filter.Get()).empty());
        EXPECT_EQ(CurFile(filter.Get()), L"<null>");
        EXPECT_EQ(RearChannel(filter.Get()), 0);
    }

    ComPtr<IBaseFilter> filter = CreateSource();
    ComPtr<IFileSourceFilter> source = Query<IFileSourceFilter>(filter.Get());
    EXPECT_EQ(source->Load(nullptr, nullptr), E_POINTER);
    ASSERT_EQ(source->Load(Fixture(kFrontOnly).c_str(), nullptr), S_OK);
    EXPECT_EQ(source->Load(Fixture(kPairFront).c_str(), nullptr), E_FAIL) << "a second Load";
    EXPECT_EQ(source->Load(nullptr, nullptr), E_FAIL);
    EXPECT_EQ(PinNames(filter.Get()), (std::vector<std::wstring>{L"Front Video", L"Front Audio"}));
    EXPECT_EQ(CurFile(filter.Get()), Fixture(kFrontOnly));
    EXPECT_EQ(source->GetCurFile(nullptr, nullptr), E_POINTER);
}

// ---------------------------------------------------------------------------------------------
// Pins and media types

TEST(DualSourcePins, OfferTheirPortsTypes)
{
    ComPtr<IBaseFilter> filter = LoadSource(Fixture(kPairFront));
    ASSERT_TRUE(filter);
    std::vector<ComPtr<IPin>> pins = Pins(filter.Get());
    ASSERT_EQ(pins.size(), 4u);
    for (size_t i : {0u, 2u}) {
        SCOPED_TRACE(i);
        CMediaType type;
        ASSERT_TRUE(PinType(pins[i].Get(), &type));
        EXPECT_EQ(*type.Type(), MEDIATYPE_Video);
        EXPECT_EQ(*type.Subtype(), MEDIASUBTYPE_AVC1);
        EXPECT_EQ(*type.FormatType(), FORMAT_MPEG2Video);
        EXPECT_FALSE(type.IsFixedSize());
        EXPECT_TRUE(type.IsTemporalCompressed());
        EXPECT_EQ(type.lSampleSize, 320u * 180u * 3u);
        ASSERT_GT(type.FormatLength(), ULONG(SIZE_MPEG2VIDEOINFO_HEADER));
        const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.Format());
        EXPECT_EQ(info->hdr.bmiHeader.biWidth, 320);
        EXPECT_EQ(info->hdr.bmiHeader.biHeight, 180);
        EXPECT_GE(type.FormatLength(), SIZE_MPEG2VIDEOINFO_HEADER + info->cbSequenceHeader);
        EXPECT_GT(info->cbSequenceHeader, 0u);
    }
    struct AudioCase {
        size_t pin;
        DWORD rate;
    } audio[] = {{1, 48000}, {3, 44100}};
    for (const AudioCase& c : audio) {
        SCOPED_TRACE(c.pin);
        CMediaType type;
        ASSERT_TRUE(PinType(pins[c.pin].Get(), &type));
        EXPECT_EQ(*type.Type(), MEDIATYPE_Audio);
        EXPECT_EQ(*type.Subtype(), MEDIASUBTYPE_PCM);
        EXPECT_EQ(*type.FormatType(), FORMAT_WaveFormatEx);
        ASSERT_GE(type.FormatLength(), sizeof(WAVEFORMATEX));
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.Format());
        EXPECT_EQ(wave->nSamplesPerSec, c.rate);
        EXPECT_EQ(wave->nChannels, 2);
        EXPECT_EQ(wave->wBitsPerSample, 16);
        EXPECT_EQ(type.lSampleSize, wave->nAvgBytesPerSec);
        EXPECT_EQ(wave->nAvgBytesPerSec, c.rate * 4);
    }
}

// A decoder configuration record of another version gives the video track no port: its pin
// stays, so the pin order holds, but it offers nothing, and the sound pin still offers sound.
TEST(DualSourcePins, AVideoTrackWithoutPortOffersNoType)
{
    std::vector<char> bytes = ReadBytes(Native("single/normal.mp4"));
    const char tag[] = {'a', 'v', 'c', 'C'};
    auto found = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    ASSERT_NE(found, bytes.end());
    ASSERT_EQ(found[4], 1) << "configuration version";
    found[4] = 2;
    TempFolder folder;
    ComPtr<IBaseFilter> filter = LoadSource(folder.Write("other-version.mp4", bytes));
    ASSERT_TRUE(filter);
    std::vector<ComPtr<IPin>> pins = Pins(filter.Get());
    ASSERT_EQ(PinNames(filter.Get()), (std::vector<std::wstring>{L"Front Video", L"Front Audio"}));
    CMediaType type;
    EXPECT_FALSE(PinType(pins[0].Get(), &type));
    ASSERT_TRUE(PinType(pins[1].Get(), &type));
    EXPECT_EQ(*type.Type(), MEDIATYPE_Audio);
}

TEST(DualSourcePins, SampleDurations)
{
    using FilterCore::KVAudioOutStream;
    using FilterCore::KVVideoOutStream;
    struct FrameCase {
        double frameRate;
        LONGLONG duration;
    } frames[] = {{30.0, 330000}, {15.0, 660000}, {29.97, 330000}, {25.0, 400000}, {0.0, 1}};
    for (const FrameCase& c : frames) {
        EXPECT_EQ(KVVideoOutStream::FrameDurationOf(c.frameRate), c.duration) << c.frameRate;
    }
    struct SoundCase {
        int sampleRate, channels, bytesPerSample;
        DWORD bytesPerSecond;
    } sounds[] = {{44100, 2, 2, 176400},
                  {48000, 2, 2, 192000},
                  {0, 2, 2, 1},
                  {48000, 0, 2, 1},
                  {48000, 2, 0, 1}};
    for (const SoundCase& c : sounds) {
        EXPECT_EQ(KVAudioOutStream::BytesPerSecondOf(c.sampleRate, c.channels, c.bytesPerSample),
                  c.bytesPerSecond)
            << c.sampleRate << " Hz, " << c.channels << " channels";
    }
    struct LengthCase {
        LONG length;
        DWORD bytesPerSecond;
        double rate;
        LONGLONG duration;
    } lengths[] = {{4096, 176400, 1.0, 230000},
                   {4096, 176400, 2.0, 115000},
                   {4096, 192000, 1.0, 210000},
                   {0, 176400, 1.0, 0},
                   {4096, 0, 1.0, 40960000000}};
    for (const LengthCase& c : lengths) {
        EXPECT_EQ(KVAudioOutStream::DurationOf(c.length, c.bytesPerSecond, c.rate), c.duration)
            << c.length << " bytes at " << c.bytesPerSecond << " per second, rate " << c.rate;
    }
}

// ---------------------------------------------------------------------------------------------
// The custom interfaces

TEST(DualSourceInfo, CodecNames)
{
    struct Case {
        int code;
        const WCHAR* name;  // null: not in the table
    } cases[] = {{193, L"H264"}, {64, L"PCMS16LE"}, {65, L"PCMS16BE"}, {66, L"AAC"},
                 {0, nullptr},   {28, nullptr},     {86018, nullptr}};
    for (const Case& c : cases) {
        const WCHAR* name = FilterCore::CodecNameOf(c.code);
        if (c.name) {
            ASSERT_NE(name, nullptr) << c.code;
            EXPECT_STREQ(name, c.name);
        } else {
            EXPECT_EQ(name, nullptr) << c.code;
        }
    }
}

TEST(DualSourceInfo, InterfacesNamesAndVideoInfo)
{
    ComPtr<IBaseFilter> filter = CreateSource();
    ASSERT_TRUE(filter);
    ComPtr<IAMFilterMiscFlags> flags;
    EXPECT_EQ(filter->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(&flags)),
              E_NOINTERFACE);
    EXPECT_FALSE(flags);
    // Every interface leads back to one object.
    ComPtr<IUnknown> identity = Query<IUnknown>(filter.Get());
    EXPECT_EQ(Query<IUnknown>(Query<IKVTrackInfo>(filter.Get()).Get()), identity);
    EXPECT_EQ(Query<IUnknown>(Query<IKVFilterInfo>(filter.Get()).Get()), identity);
    EXPECT_EQ(Query<IUnknown>(Query<IKVMP4DualSourceInfo>(filter.Get()).Get()), identity);
    EXPECT_EQ(Query<IUnknown>(Query<IFileSourceFilter>(filter.Get()).Get()), identity);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_KVMP4DualSourceFilter);

    // Null outputs are refused rather than written through.
    EXPECT_EQ(Query<IKVMP4DualSourceInfo>(filter.Get())->GetChannelInfo(nullptr, nullptr),
              E_POINTER);
    EXPECT_EQ(Query<IKVFilterInfo>(filter.Get())->GetName(nullptr), E_POINTER);
    EXPECT_EQ(Query<IKVTrackInfo>(filter.Get())->GetVideoTrackCount(nullptr), E_POINTER);

    ComPtr<IKVFilterInfo> info = Query<IKVFilterInfo>(filter.Get());
    LPWSTR text = nullptr;
    ASSERT_EQ(info->GetName(&text), S_OK);
    EXPECT_STREQ(text, L"KESTROVAN MP4 Source");
    CoTaskMemFree(text);
    ASSERT_EQ(info->GetVersion(&text), S_OK);
    EXPECT_STREQ(text, L"1.2");
    CoTaskMemFree(text);

    ComPtr<IKVTrackInfo> tracks = Query<IKVTrackInfo>(filter.Get());
    LPWSTR codec = nullptr;
    int duration = -1, bitRate = -1, width = -1, height = -1, reserved = -1;
    float frameRate = -1;
    EXPECT_EQ(
        tracks->GetVideoInfo(&codec, &duration, &frameRate, &bitRate, &width, &height, &reserved),
        S_FALSE)
        << "nothing loaded";
    EXPECT_EQ(codec, nullptr);
    EXPECT_EQ(tracks->GetAudioInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_FALSE);
    short count = -1;
    EXPECT_EQ(tracks->GetAudioTrackCount(&count), S_OK);
    EXPECT_EQ(count, 0);

    ASSERT_EQ(Query<IFileSourceFilter>(filter.Get())->Load(Fixture(kPairFront).c_str(), nullptr),
              S_OK);
    ASSERT_EQ(
        tracks->GetVideoInfo(&codec, &duration, &frameRate, &bitRate, &width, &height, &reserved),
        S_OK);
    EXPECT_STREQ(codec, L"H264");
    CoTaskMemFree(codec);
    LONGLONG pinDuration = 0;
    ASSERT_EQ(Query<IMediaSeeking>(Pins(filter.Get())[0].Get())->GetDuration(&pinDuration), S_OK);
    EXPECT_EQ(duration, pinDuration);
    EXPECT_NEAR(duration, 3 * kSecond, kSecond / 10);
    EXPECT_FLOAT_EQ(frameRate, 15.0f);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 180);
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(tracks->GetAudioInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);

    ComPtr<IBaseFilter> silent = LoadSource(Fixture("single/audioonly.mp4"));
    EXPECT_EQ(
        Query<IKVTrackInfo>(silent.Get())
            ->GetVideoInfo(&codec, &duration, &frameRate, &bitRate, &width, &height, &reserved),
        S_FALSE);
}

// A duration in 100 ns does not fit 32 bits beyond 214.7 seconds; it is reported as the largest
// value instead of wrapping round.
TEST(DualSourceInfo, LongDurationsDoNotWrap)
{
    const char* build = std::getenv("KV_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    TempFolder folder;
    const std::string out = (folder.Path() / "long.mp4").string();
    const std::string command = std::string(build) + "/bin/mkcard single noaudio '" + out +
                                "' --size 16x16 --fps 1 --seconds 220 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ComPtr<IBaseFilter> filter = LoadSource(platform::ToWindowsPath(out));
    ASSERT_TRUE(filter);
    LPWSTR codec = nullptr;
    int duration = 0, bitRate = 0, width = 0, height = 0, reserved = -1;
    float frameRate = 0;
    ASSERT_EQ(
        Query<IKVTrackInfo>(filter.Get())
            ->GetVideoInfo(&codec, &duration, &frameRate, &bitRate, &width, &height, &reserved),
        S_OK);
    CoTaskMemFree(codec);
    EXPECT_EQ(duration, INT_MAX);
}

// ---------------------------------------------------------------------------------------------
// Seeking while stopped

TEST(DualSourceSeeking, ArgumentsCapabilitiesAndFormats)
{
    ComPtr<IBaseFilter> filter = LoadSource(Fixture(kPairFront));
    ASSERT_TRUE(filter);
    ComPtr<IMediaSeeking> seeking = Query<IMediaSeeking>(Pins(filter.Get())[0].Get());
    ASSERT_TRUE(seeking);

    DWORD capabilities = 0;
    EXPECT_EQ(seeking->GetCapabilities(&capabilities), S_OK);
    EXPECT_EQ(capabilities, 55u);
    struct CapabilityCase {
        DWORD asked;
        HRESULT expected;
    } checks[] = {{AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration, S_OK},
                  {AM_SEEKING_CanGetCurrentPos, S_FALSE},
                  {AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanPlayBackwards, S_FALSE}};
    for (const CapabilityCase& c : checks) {
        DWORD asked = c.asked;
        EXPECT_EQ(seeking->CheckCapabilities(&asked), c.expected) << c.asked;
        EXPECT_EQ(asked, c.asked);
    }
    EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(seeking->IsFormatSupported(&TIME_FORMAT_FRAME), S_FALSE);
    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
    LONGLONG converted = 0;
    EXPECT_EQ(seeking->ConvertTimeFormat(&converted, nullptr, 1234, &TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(converted, 1234);
    EXPECT_EQ(seeking->ConvertTimeFormat(&converted, &TIME_FORMAT_FRAME, 1, nullptr), E_INVALIDARG);
    LONGLONG current = 0;
    EXPECT_EQ(seeking->GetCurrentPosition(&current), E_NOTIMPL);
    EXPECT_EQ(seeking->GetDuration(nullptr), E_POINTER);

    double rate = 0;
    EXPECT_EQ(seeking->SetRate(0.05), E_INVALIDARG);
    EXPECT_EQ(seeking->SetRate(-1.0), E_INVALIDARG);
    EXPECT_EQ(seeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 1.0);
    EXPECT_EQ(seeking->SetRate(0.2), S_OK);
    EXPECT_EQ(seeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 0.2);

    LONGLONG position = kSecond;
    LONGLONG stop = 0;
    struct ArgumentCase {
        const char* what;
        LONGLONG* current;
        DWORD currentFlags;
        LONGLONG* stop;
        DWORD stopFlags;
        HRESULT expected;
    } arguments[] = {
        {"no current position", nullptr, AM_SEEKING_AbsolutePositioning, nullptr, 0, E_POINTER},
        {"incremental", &position, AM_SEEKING_IncrementalPositioning, nullptr, 0, E_INVALIDARG},
        {"no stop position", &position, AM_SEEKING_AbsolutePositioning, nullptr,
         AM_SEEKING_AbsolutePositioning, E_POINTER},
        {"stop flags beyond positioning", &position, AM_SEEKING_AbsolutePositioning, &stop,
         AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, E_INVALIDARG},
        {"only a stop position", nullptr, AM_SEEKING_NoPositioning, &stop,
         AM_SEEKING_AbsolutePositioning, S_OK},
    };
    for (const ArgumentCase& c : arguments) {
        EXPECT_EQ(seeking->SetPositions(c.current, c.currentFlags, c.stop, c.stopFlags), c.expected)
            << c.what;
    }
    LONGLONG duration = 0;
    ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
    EXPECT_EQ(seeking->GetPositions(&current, &stop), S_OK);
    EXPECT_EQ(current, 0) << "no failed call moved the start";
    EXPECT_EQ(stop, duration) << "the stop position stays the track's end";
    LONGLONG earliest = -1, latest = -1;
    EXPECT_EQ(seeking->GetAvailable(&earliest, &latest), S_OK);
    EXPECT_EQ(earliest, 0);
    EXPECT_EQ(latest, duration);
}

TEST(DualSourceSeeking, AbsoluteAndRelativePositionsWhileStopped)
{
    ComPtr<IBaseFilter> filter = LoadSource(Fixture(kPairFront));
    ASSERT_TRUE(filter);
    std::vector<ComPtr<IPin>> pins = Pins(filter.Get());
    ComPtr<IMediaSeeking> video = Query<IMediaSeeking>(pins[0].Get());
    ComPtr<IMediaSeeking> audio = Query<IMediaSeeking>(pins[1].Get());

    LONGLONG position = 2 * kSecond;
    ASSERT_EQ(video->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, 0), S_OK);
    EXPECT_EQ(position, 2 * kSecond);
    position = -kSecond / 2;
    ASSERT_EQ(video->SetPositions(&position, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
    EXPECT_EQ(position, 2 * kSecond - kSecond / 2) << "relative to the current position";
    position = -10 * kSecond;
    ASSERT_EQ(video->SetPositions(&position, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
    EXPECT_EQ(position, 0) << "not before the start";
    // Every pin took the seek, not only the one that was asked.
    LONGLONG current = -1;
    EXPECT_EQ(audio->GetPositions(&current, nullptr), S_OK);
    EXPECT_EQ(current, 0);
}
