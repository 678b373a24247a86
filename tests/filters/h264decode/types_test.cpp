// The decoder's media types: which inputs it takes, what it offers and accepts downstream, the
// buffers it asks for, and the decoder configuration record it builds from a format block.
#include <gtest/gtest.h>

#include "DecoderTesting.h"
#include "FilterChain.h"
#include "MediaTypes.h"
#include "NullRenderer.h"
#include "PushSource.h"
#include "filters/h264decode/AvcDecoderConfig.h"

using namespace h264test;

namespace {

constexpr DWORD kAvc1 = MAKEFOURCC('A', 'V', 'C', '1');
constexpr DWORD kH264 = MAKEFOURCC('H', '2', '6', '4');

CMediaType Truncated(CMediaType type, ULONG length)
{
    type.cbFormat = length;
    return type;
}

}  // namespace

TEST(DecoderInputTypes, TakesH264DescribedByAWholeVideoFormat)
{
    CMediaType audio = VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1);
    audio.SetType(&MEDIATYPE_Audio);
    CMediaType wave = VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1);
    wave.SetFormatType(&FORMAT_WaveFormatEx);
    CMediaType noBlock = VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1);
    noBlock.ResetFormatBuffer();

    const struct {
        const char* name;
        CMediaType type;
        HRESULT expected;
    } cases[] = {
        {"MPEG2VIDEOINFO, AVC1", Mpeg2VideoType(320, 180, 666666), S_OK},
        {"VIDEOINFOHEADER, H264", VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, kH264), S_OK},
        {"VIDEOINFOHEADER2, AVC1", VideoInfo2Type(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1), S_OK},
        {"bottom-up height", VideoInfoType(MEDIASUBTYPE_AVC1, 320, -180, 24, kAvc1), S_OK},
        {"MJPG", VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, MAKEFOURCC('M', 'J', 'P', 'G')),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"lower-case avc1",
         VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, MAKEFOURCC('a', 'v', 'c', '1')),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"audio", audio, VFW_E_TYPE_NOT_ACCEPTED},
        {"wave format", wave, VFW_E_TYPE_NOT_ACCEPTED},
        {"no format block", noBlock, VFW_E_TYPE_NOT_ACCEPTED},
        {"short VIDEOINFOHEADER",
         Truncated(VideoInfoType(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1), 87),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"short VIDEOINFOHEADER2",
         Truncated(VideoInfo2Type(MEDIASUBTYPE_AVC1, 320, 180, 24, kAvc1), 111),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"short MPEG2VIDEOINFO", Truncated(Mpeg2VideoType(320, 180, 0), 131),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"width 0", Mpeg2VideoType(0, 180, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"negative width", Mpeg2VideoType(-320, 180, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"height 0", Mpeg2VideoType(320, 0, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"buffer beyond 2 GB", Mpeg2VideoType(30000, 30000, 0), VFW_E_TYPE_NOT_ACCEPTED},
    };
    for (const auto& c : cases) {
        Decoder decoder = MakeDecoder();
        EXPECT_EQ(decoder.object->CheckInputType(&c.type), c.expected) << c.name;
    }
}

// Asking whether a type would do must not change what the filter has connected with, and
// once a type was taken, later ones are not asked for their FOURCC again.
TEST(DecoderInputTypes, CheckingATypeChangesNothing)
{
    Decoder decoder = MakeDecoder();
    auto* source = new CPushSource(Mpeg2VideoType(320, 180, 666666), 4096);
    FilterChain chain({source, decoder.filter.Get()});
    ASSERT_EQ(chain.Connect(source->OutputPin(), decoder.Input()), S_OK);

    CMediaType other = Mpeg2VideoType(640, 360, 333333);
    CMediaType mjpg =
        VideoInfoType(MEDIASUBTYPE_AVC1, 1280, 720, 24, MAKEFOURCC('M', 'J', 'P', 'G'));
    CMediaType broken = Truncated(Mpeg2VideoType(1920, 1080, 0), 100);
    EXPECT_EQ(decoder.Input()->QueryAccept(&other), S_OK);
    EXPECT_EQ(decoder.Input()->QueryAccept(&mjpg), S_OK);
    EXPECT_EQ(decoder.Input()->QueryAccept(&broken), S_FALSE);

    CMediaType offered;
    ASSERT_EQ(decoder.object->GetMediaType(0, &offered), S_OK);
    const VIDEOINFOHEADER info = VideoInfoOf(offered);
    EXPECT_EQ(info.bmiHeader.biWidth, 320);
    EXPECT_EQ(info.bmiHeader.biHeight, 180);
    EXPECT_EQ(info.AvgTimePerFrame, 666666);
}

TEST(DecoderOutputTypes, OffersPackedYuvAtTheInputsSizeAndFrameDuration)
{
    Decoder decoder = MakeDecoder();
    CMediaType unconnected;
    EXPECT_EQ(decoder.object->GetMediaType(0, &unconnected), E_UNEXPECTED);

    auto* source = new CPushSource(Mpeg2VideoType(1280, 720, 333333), 4096);
    FilterChain chain({source, decoder.filter.Get()});
    ASSERT_EQ(chain.Connect(source->OutputPin(), decoder.Input()), S_OK);

    const struct {
        const GUID* subtype;
        DWORD fourcc;
    } offers[] = {{&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2')},
                  {&MEDIASUBTYPE_YVYU, MAKEFOURCC('Y', 'V', 'Y', 'U')},
                  {&MEDIASUBTYPE_UYVY, MAKEFOURCC('U', 'Y', 'V', 'Y')}};
    for (int position = 0; position < 3; ++position) {
        CMediaType type;
        ASSERT_EQ(decoder.object->GetMediaType(position, &type), S_OK) << position;
        EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Video));
        EXPECT_TRUE(IsEqualGUID(type.subtype, *offers[position].subtype)) << position;
        EXPECT_TRUE(IsEqualGUID(type.formattype, FORMAT_VideoInfo));
        EXPECT_EQ(type.cbFormat, 88u);
        EXPECT_FALSE(type.bTemporalCompression);
        const VIDEOINFOHEADER info = VideoInfoOf(type);
        EXPECT_EQ(info.rcSource.right, 1280);
        EXPECT_EQ(info.rcTarget.bottom, 720);
        EXPECT_EQ(info.AvgTimePerFrame, 333333);
        EXPECT_EQ(info.bmiHeader.biBitCount, 16);
        EXPECT_EQ(info.bmiHeader.biCompression, offers[position].fourcc);
        EXPECT_EQ(info.bmiHeader.biSizeImage, 1843200u);
        EXPECT_EQ(type.lSampleSize, 1843200u);
    }
    CMediaType none;
    EXPECT_EQ(decoder.object->GetMediaType(3, &none), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(decoder.object->GetMediaType(-1, &none), E_INVALIDARG);
}

// The output's frame duration is the input's own: 29.97 frames per second stay 333,667 and a
// picture every two seconds stays 20,000,000; an input that gives none counts 25 frames a second.
TEST(DecoderOutputTypes, KeepsTheInputsFrameDuration)
{
    const struct {
        REFERENCE_TIME input;
        REFERENCE_TIME output;
    } cases[] = {
        {333333, 333333}, {0, 400000}, {-5, 400000}, {333667, 333667}, {20000000, 20000000}};
    for (const auto& c : cases) {
        Decoder decoder = MakeDecoder();
        auto* source = new CPushSource(Mpeg2VideoType(320, 180, c.input), 4096);
        FilterChain chain({source, decoder.filter.Get()});
        ASSERT_EQ(chain.Connect(source->OutputPin(), decoder.Input()), S_OK);
        CMediaType type;
        ASSERT_EQ(decoder.object->GetMediaType(2, &type), S_OK);
        EXPECT_EQ(VideoInfoOf(type).AvgTimePerFrame, c.output) << c.input;
    }
}

// Downstream types are taken only when the filter can write them.
TEST(DecoderOutputTypes, AcceptsOnlyLayoutsItCanWrite)
{
    Decoder decoder = MakeDecoder();
    CMediaType input = Mpeg2VideoType(320, 180, 666666);
    const struct {
        const char* name;
        CMediaType type;
        HRESULT expected;
    } cases[] = {
        {"UYVY", VideoInfoType(MEDIASUBTYPE_UYVY, 320, 180, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')),
         S_OK},
        {"YUY2 with a wider stride",
         VideoInfo2Type(MEDIASUBTYPE_YUY2, 384, 180, 16, MAKEFOURCC('Y', 'U', 'Y', '2')), S_OK},
        {"YV12", VideoInfoType(MEDIASUBTYPE_YV12, 320, 180, 12, MAKEFOURCC('Y', 'V', '1', '2')),
         S_OK},
        {"RGB24", VideoInfoType(kSubtypeRgb24, 320, 180, 24, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"no subtype", VideoInfoType(GUID_NULL, 320, 180, 16, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"stride narrower than the picture",
         VideoInfoType(MEDIASUBTYPE_UYVY, 300, 180, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"short block",
         Truncated(VideoInfoType(MEDIASUBTYPE_UYVY, 320, 180, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')),
                   60),
         VFW_E_TYPE_NOT_ACCEPTED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decoder.object->CheckTransform(&input, &c.type), c.expected) << c.name;
    }
}

// One buffer of width x height x 4 bytes: a 1280 x 720 input gets 3,686,400 bytes, twice its
// UYVY picture.
TEST(DecoderOutputTypes, AsksForOneBufferOfFourBytesAPixel)
{
    Decoder decoder = MakeDecoder();
    {
        HRESULT hr = S_OK;
        ComPtr<IMemAllocator> allocator;
        CMemAllocator* made = new CMemAllocator(NAME("test"), nullptr, &hr);
        made->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&allocator));
        ALLOCATOR_PROPERTIES request = {};
        EXPECT_EQ(decoder.object->DecideBufferSize(allocator.Get(), &request), E_UNEXPECTED);
    }

    auto* source = new CPushSource(Mpeg2VideoType(1280, 720, 333333), 4096);
    auto* renderer = new dshowtest::CNullRenderer();
    FilterChain chain({source, decoder.filter.Get(), renderer});
    ASSERT_EQ(chain.Connect(source->OutputPin(), decoder.Input()), S_OK);
    ASSERT_EQ(chain.Connect(decoder.Output(), renderer->InputPin()), S_OK);

    ComPtr<IMemInputPin> input;
    ASSERT_EQ(renderer->InputPin()->QueryInterface(IID_PPV_ARGS(&input)), S_OK);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES actual = {};
    ASSERT_EQ(allocator->GetProperties(&actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 1);
    EXPECT_EQ(actual.cbBuffer, 3686400);
}

// The record the decoder opens with, rebuilt from an MPEG2VIDEOINFO: version 1, profile,
// compatibility 0, level, the length size less one, the count of whole sets, the sets, and a
// zero count of separate picture sets.
TEST(AvcDecoderConfig, RebuildsTheRecordFromWholeParameterSets)
{
    const std::vector<BYTE> sps = {0x00, 0x04, 0x67, 0x42, 0xC0, 0x1E};
    const std::vector<BYTE> pps = {0x00, 0x02, 0x68, 0xCE};
    std::vector<BYTE> both = sps;
    both.insert(both.end(), pps.begin(), pps.end());
    std::vector<BYTE> partial = both;
    partial.insert(partial.end(), {0x00, 0x09, 0x06});  // a third set cut short

    auto record = [](std::vector<BYTE> sets, BYTE lengthByte, BYTE count) {
        std::vector<BYTE> bytes = {1, 66, 0, 30, lengthByte, count};
        bytes.insert(bytes.end(), sets.begin(), sets.end());
        bytes.push_back(0);
        return bytes;
    };
    const struct {
        const char* name;
        std::vector<BYTE> sets;
        DWORD nalLengthSize;
        LONG trim;  // bytes taken off the end of the block
        std::vector<BYTE> expected;
    } cases[] = {
        {"SPS and PPS", both, 4, 0, record(both, 3, 2)},
        {"length size 2", both, 2, 0, record(both, 1, 2)},
        {"length size not given", both, 0, 0, record(both, 3, 2)},
        {"a set cut short is left out", partial, 4, 0, record(both, 3, 2)},
        {"the block ends inside the PPS", both, 4, 4 + 2, record(sps, 3, 1)},
        {"no sets", {}, 4, 0, {}},
    };
    for (const auto& c : cases) {
        CMediaType type = Mpeg2VideoType(320, 180, 0, kAvc1, c.sets, c.nalLengthSize);
        const AvcDecoderConfig config =
            BuildAvcConfig(type.Format(), type.FormatLength() - ULONG(c.trim));
        EXPECT_EQ(config.bytes, c.expected) << c.name;
    }
    CMediaType type = Mpeg2VideoType(320, 180, 0, kAvc1, both);
    EXPECT_TRUE(BuildAvcConfig(type.Format(), SIZE_MPEG2VIDEOINFO_HEADER - 1).Empty());
    EXPECT_TRUE(BuildAvcConfig(nullptr, 0).Empty());
}
