// CMediaType and the media-type helpers: who owns the format block and the pUnk reference, and
// how partial types match. AddressSanitizer catches a block freed twice or never.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/dshow/streams.h"

namespace {

// Counts its references; never deleted (it lives on the test's stack).
class CountedUnknown final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
    LONG refs = 0;
};

CMediaType VideoInfoType(LONG width)
{
    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_AVC1);
    type.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER info{};
    info.bmiHeader.biWidth = width;
    EXPECT_TRUE(type.SetFormat(reinterpret_cast<const BYTE*>(&info), sizeof info));
    return type;
}

LONG WidthOf(const AM_MEDIA_TYPE& type)
{
    return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth;
}

TEST(CMediaTypeTest, CopiesOwnTheirFormatBlockAndTheirReference)
{
    CountedUnknown unknown;
    CMediaType original = VideoInfoType(640);
    original.pUnk = &unknown;
    unknown.AddRef();  // the reference the type owns
    {
        CMediaType copy(original);
        EXPECT_NE(copy.Format(), original.Format());
        EXPECT_TRUE(copy == original);
        EXPECT_EQ(unknown.refs, 2);

        reinterpret_cast<VIDEOINFOHEADER*>(copy.Format())->bmiHeader.biWidth = 1280;
        EXPECT_EQ(WidthOf(original), 640);
        EXPECT_TRUE(copy != original);  // the format bytes differ

        CMediaType assigned;
        assigned = copy;
        EXPECT_EQ(WidthOf(assigned), 1280);
        assigned = original;  // replaces the block and moves the reference
        EXPECT_EQ(WidthOf(assigned), 640);
        EXPECT_EQ(unknown.refs, 3);
        const CMediaType& same = assigned;
        assigned = same;  // assigning itself keeps everything
        EXPECT_EQ(WidthOf(assigned), 640);
        EXPECT_EQ(unknown.refs, 3);
    }
    EXPECT_EQ(unknown.refs, 1);

    AM_MEDIA_TYPE* created = CreateMediaType(&original);
    ASSERT_NE(created, nullptr);
    EXPECT_NE(created->pbFormat, original.pbFormat);
    EXPECT_EQ(WidthOf(*created), 640);
    EXPECT_EQ(unknown.refs, 2);
    DeleteMediaType(created);
    EXPECT_EQ(unknown.refs, 1);

    FreeMediaType(original);
    EXPECT_EQ(original.pbFormat, nullptr);
    EXPECT_EQ(original.cbFormat, 0u);
    EXPECT_EQ(original.pUnk, nullptr);
    EXPECT_EQ(unknown.refs, 0);
}

TEST(CMediaTypeTest, FormatBuffersKeepOrReplaceTheirBytes)
{
    CMediaType type;
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_EQ(type.lSampleSize, 1u);
    EXPECT_FALSE(type.IsValid());

    BYTE* block = type.AllocFormatBuffer(4);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abcd", 4);
    EXPECT_EQ(type.AllocFormatBuffer(4), block);  // same size: the same block
    BYTE* grown = type.ReallocFormatBuffer(8);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "abcd", 4), 0);
    EXPECT_EQ(type.FormatLength(), 8u);
    EXPECT_FALSE(type.SetFormat(nullptr, 3));  // refused: the old block stays
    EXPECT_EQ(type.Format(), grown);
    type.ResetFormatBuffer();
    EXPECT_EQ(type.Format(), nullptr);
    EXPECT_EQ(type.FormatLength(), 0u);

    type.SetSampleSize(0);
    EXPECT_FALSE(type.IsFixedSize());
    EXPECT_EQ(type.GetSampleSize(), 0u);
    type.SetSampleSize(4096);
    EXPECT_TRUE(type.IsFixedSize());
    EXPECT_EQ(type.GetSampleSize(), 4096u);
}

TEST(CMediaTypeTest, PartialTypesMatchOnWhatTheySpecify)
{
    const CMediaType full = VideoInfoType(640);
    struct Case {
        const char* what;
        GUID major;
        GUID subtype;
        GUID format;
        LONG width;  // 0: no format block
        bool partial;
        bool matches;
    };
    const Case cases[] = {
        {"everything open", GUID_NULL, GUID_NULL, GUID_NULL, 0, true, true},
        {"major type only", MEDIATYPE_Video, GUID_NULL, GUID_NULL, 0, true, true},
        {"other major type", MEDIATYPE_Audio, GUID_NULL, GUID_NULL, 0, true, false},
        {"other subtype", MEDIATYPE_Video, MEDIASUBTYPE_PCM, GUID_NULL, 0, true, false},
        {"same format", MEDIATYPE_Video, GUID_NULL, FORMAT_VideoInfo, 640, false, true},
        {"other format bytes", MEDIATYPE_Video, GUID_NULL, FORMAT_VideoInfo, 320, false, false},
        {"format type without its block", GUID_NULL, GUID_NULL, FORMAT_VideoInfo, 0, true, false},
    };
    for (const Case& c : cases) {
        CMediaType partial = c.width ? VideoInfoType(c.width) : CMediaType();
        partial.SetType(&c.major);
        partial.SetSubtype(&c.subtype);
        partial.SetFormatType(&c.format);
        EXPECT_EQ(bool(partial.IsPartiallySpecified()), c.partial) << c.what;
        EXPECT_EQ(bool(full.MatchesPartial(&partial)), c.matches) << c.what;
    }
}

TEST(CMediaTypeTest, CopyMediaTypeRefusesNullPointers)
{
    const CMediaType source = VideoInfoType(64);
    AM_MEDIA_TYPE target;
    EXPECT_EQ(CopyMediaType(nullptr, &source), E_POINTER);
    EXPECT_EQ(CopyMediaType(&target, nullptr), E_POINTER);
    EXPECT_EQ(CreateMediaType(nullptr), nullptr);
    DeleteMediaType(nullptr);  // nothing to free, nothing to crash
    ASSERT_EQ(CopyMediaType(&target, &source), S_OK);
    EXPECT_EQ(WidthOf(target), 64);
    FreeMediaType(target);
}

}  // namespace
