// The port model: what a port stores and hands back, and how the collection orders and owns
// its ports.
#include <gtest/gtest.h>

#include <cstring>

#include "filtercore/CoreProperties.h"
#include "platform/dshow.h"
#include "platform/kernel.h"

using FilterCore::CorePortProperties;
using FilterCore::CoreProperties;
using FilterCore::PortMediaTypeDesc;

namespace {

const GUID kSubtypes[2] = {MEDIASUBTYPE_AVC1, MEDIASUBTYPE_PCM};

}  // namespace

TEST(CorePortProperties, SubtypesAreCopiedAndBoundsChecked)
{
    CorePortProperties port(L"Video Out");
    port.SetSubtypes(2, kSubtypes);
    ASSERT_EQ(port.GetSubtypeCount(), 2);
    ASSERT_NE(port.GetSubtype(1), nullptr);
    EXPECT_EQ(*port.GetSubtype(1), MEDIASUBTYPE_PCM);
    EXPECT_NE(port.GetSubtype(1), &kSubtypes[1]) << "the port keeps its own copy";
    EXPECT_EQ(port.GetSubtype(2), nullptr);
    EXPECT_EQ(port.GetSubtype(-1), nullptr);

    struct {
        int max;
        int copied;
    } cases[] = {{1, 1}, {5, 2}, {0, 0}, {-3, 0}};
    for (const auto& c : cases) {
        GUID out[5] = {};
        EXPECT_EQ(port.GetSubtypes(out, c.max), c.copied) << "max " << c.max;
        for (int i = 0; i < c.copied; ++i) EXPECT_EQ(out[i], kSubtypes[i]);
        for (int i = c.copied; i < 5; ++i) EXPECT_EQ(out[i], GUID_NULL);
    }

    port.SetSubtypes(2, nullptr);
    EXPECT_EQ(port.GetSubtypeCount(), 0);
    GUID out[2] = {};
    EXPECT_EQ(port.GetSubtypes(out, 2), 0);
    EXPECT_EQ(port.GetSubtype(0), nullptr);
}

TEST(CorePortProperties, FormatBlockIsReplacedAndCopiedOut)
{
    CorePortProperties port(L"Audio Out");
    int length = -1;
    EXPECT_EQ(port.GetFormat(&length), nullptr);
    EXPECT_EQ(length, 0);

    // Without a format a copy succeeds and yields nothing.
    void* block = nullptr;
    length = -1;
    EXPECT_EQ(port.CopyFormat(&block, &length), 1);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0);

    const BYTE first[4] = {1, 2, 3, 4};
    const BYTE second[3] = {9, 8, 7};
    EXPECT_EQ(port.SetFormat(first, sizeof first), 1);
    EXPECT_EQ(port.SetFormat(second, sizeof second), 1);
    const void* own = port.GetFormat(&length);
    ASSERT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(own, second, 3), 0);

    // A caller pointer that is already set is refused and left alone.
    BYTE mine = 0;
    block = &mine;
    EXPECT_EQ(port.CopyFormat(&block, &length), 0);
    EXPECT_EQ(block, &mine);

    block = nullptr;
    ASSERT_EQ(port.CopyFormat(&block, &length), 1);
    ASSERT_NE(block, nullptr);
    EXPECT_NE(block, own);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::memcmp(block, second, 3), 0);
    CoTaskMemFree(block);

    // A null block with a length is no format at all, not a copy from null.
    port.SetFormat(nullptr, 16);
    EXPECT_EQ(port.GetFormat(&length), nullptr);
    EXPECT_EQ(length, 0);
}

TEST(CorePortProperties, MediaTypeRecordSetsAllButKeepsFormatWhenNoneGiven)
{
    CorePortProperties port(L"Video Out");
    const BYTE format[2] = {0x55, 0xAA};
    PortMediaTypeDesc desc = {&MEDIATYPE_Video, 2, kSubtypes, &FORMAT_MPEG2Video, format, 2};
    port.SetPortMediaType(&desc);
    EXPECT_EQ(*port.GetMajorType(), MEDIATYPE_Video);
    EXPECT_EQ(*port.GetFormatType(), FORMAT_MPEG2Video);
    EXPECT_EQ(port.GetSubtypeCount(), 2);

    PortMediaTypeDesc noFormat = {&MEDIATYPE_Audio, 1, &MEDIASUBTYPE_PCM, &FORMAT_WaveFormatEx,
                                  nullptr, 0};
    port.SetPortMediaType(&noFormat);
    EXPECT_EQ(*port.GetMajorType(), MEDIATYPE_Audio);
    EXPECT_EQ(*port.GetFormatType(), FORMAT_WaveFormatEx);
    EXPECT_EQ(port.GetSubtypeCount(), 1);
    int length = 0;
    const BYTE* kept = static_cast<const BYTE*>(port.GetFormat(&length));
    ASSERT_EQ(length, 2);
    EXPECT_EQ(kept[1], 0xAA);

    port.SetAllocator(0, 20, 192000);
    int reserved = -1, count = -1, size = -1;
    port.GetAllocator(&reserved, &count, &size);
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(count, 20);
    EXPECT_EQ(size, 192000);
    EXPECT_EQ(port.GetReserved(), 0);
}

TEST(CoreProperties, PortsKeepAddingOrderAndNamesAreUniquePerList)
{
    CoreProperties properties;
    auto* video = new CorePortProperties(L"Video Out");
    auto* audio = new CorePortProperties(L"Audio Out");
    ASSERT_EQ(properties.AddOutputPort(video), 1);
    ASSERT_EQ(properties.AddOutputPort(audio), 1);

    // A second port of the same name is refused; the caller keeps it.
    CorePortProperties duplicate(L"Video Out");
    EXPECT_EQ(properties.AddOutputPort(&duplicate), 0);
    EXPECT_EQ(properties.GetOutputPortCount(), 2);
    EXPECT_EQ(properties.GetOutputPort(0), video);
    EXPECT_EQ(properties.GetOutputPort(1), audio);
    // Names compare exactly: another case is another name.
    auto* lower = new CorePortProperties(L"video out");
    EXPECT_EQ(properties.AddOutputPort(lower), 1);
    EXPECT_EQ(properties.AddOutputPort(nullptr), 0);

    for (int index : {-1, properties.GetOutputPortCount(), 100}) {
        EXPECT_EQ(properties.GetOutputPort(index), nullptr) << index;
        EXPECT_EQ(properties.GetInputPort(index), nullptr) << index;
    }

    // The input list is a list of its own.
    EXPECT_EQ(properties.AddInputPort(new CorePortProperties(L"Video Out")), 1);
    EXPECT_EQ(properties.GetInputPortCount(), 1);
    EXPECT_EQ(properties.GetOutputPortCount(), 3);

    EXPECT_EQ(properties.RemoveOutputPort(L"Video Out"), 1);
    EXPECT_EQ(properties.RemoveOutputPort(L"Video Out"), 0);
    EXPECT_EQ(properties.GetOutputPort(0), audio);
    EXPECT_EQ(properties.RemoveInputPort(L"Video Out"), 1);
    EXPECT_EQ(properties.GetInputPortCount(), 0);
    // The remaining ports are destroyed with the collection (the leak checker watches).
}
