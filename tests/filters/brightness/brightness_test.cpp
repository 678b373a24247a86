// The brightness filter: which pictures it takes, the buffers it asks for, what it writes into
// small UYVY pictures, how it follows a new output type, the offset's two exports, and the
// library's registration.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "FilterChain.h"
#include "LibraryTesting.h"
#include "MediaTypes.h"
#include "NullRenderer.h"
#include "PushSource.h"
#include "filters/brightness/kv_transform.h"

using namespace h264test;

namespace {

constexpr DWORD kUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');

CMediaType Uyvy(LONG width, LONG height, LONG sizeImage = -1, RECT target = {})
{
    CMediaType type = VideoInfoType(MEDIASUBTYPE_UYVY, width, height, 16, kUyvy);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
    info->rcTarget = target;
    if (sizeImage >= 0)
        info->bmiHeader.biSizeImage = DWORD(sizeImage);
    return type;
}

struct Brightness {
    Brightness()
    {
        HRESULT hr = S_OK;
        object = static_cast<Ckv_transform*>(Ckv_transform::CreateInstance(nullptr, &hr));
        filter = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(object));
    }
    IPin* Input() { return static_cast<IPin*>(object->GetPin(0)); }
    IPin* Output() { return static_cast<IPin*>(object->GetPin(1)); }

    Ckv_transform* object = nullptr;
    ComPtr<IBaseFilter> filter;
};

// A push source of UYVY pictures, the filter and a renderer, running.
struct Line {
    Line(const CMediaType& input, const CMediaType& output, LONG inputBuffer)
    {
        source = new CPushSource(input, inputBuffer);
        renderer = new dshowtest::CNullRenderer();
        renderer->SetKeptBytes(1 << 16);
        chain = std::make_unique<FilterChain>(
            std::vector<IBaseFilter*>{source, brightness.filter.Get(), renderer});
        ok = chain->Connect(source->OutputPin(), brightness.Input()) == S_OK &&
             chain->Connect(brightness.Output(), renderer->InputPin(), &output) == S_OK &&
             chain->Run() == S_OK;
        EXPECT_TRUE(ok);
    }

    // Pushes the bytes and returns what the renderer got for them (empty when nothing came).
    std::vector<BYTE> Pass(const std::vector<BYTE>& picture)
    {
        const size_t before = renderer->SampleCount();
        PushOptions options;
        options.sync = true;
        EXPECT_EQ(source->Push(picture.data(), LONG(picture.size()), options), S_OK);
        const auto records = renderer->Samples();
        if (records.size() == before)
            return {};
        return records.back().data;
    }

    Brightness brightness;
    CPushSource* source = nullptr;
    dshowtest::CNullRenderer* renderer = nullptr;
    std::unique_ptr<FilterChain> chain;
    bool ok = false;
};

// A UYVY picture of `rows` rows of `stride` bytes: U = 10 + x, V = 200 - x, Y = `luma`.
std::vector<BYTE> Picture(int width, int rows, int stride, BYTE luma)
{
    std::vector<BYTE> bytes(size_t(stride) * rows, 0xEE);
    for (int y = 0; y < rows; ++y) {
        for (int pair = 0; pair < (width + 1) / 2; ++pair) {
            BYTE* group = bytes.data() + size_t(y) * stride + pair * 4;
            group[0] = BYTE(10 + pair);
            group[1] = luma;
            group[2] = BYTE(200 - pair);
            group[3] = luma;
        }
    }
    return bytes;
}

// Sets the offset for the life of the object.
struct Offset {
    explicit Offset(int32_t value) { g_brightness = value; }
    ~Offset() { g_brightness = 0; }
};

}  // namespace

TEST(BrightnessTypes, TakesWholeUyvyPicturesAndOnlyReadsTheType)
{
    CMediaType rgb = VideoInfoType(kSubtypeRgb24, 1280, 720, 24, 0);
    CMediaType yuy2 =
        VideoInfoType(MEDIASUBTYPE_YUY2, 1280, 720, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
    CMediaType info2 = VideoInfo2Type(MEDIASUBTYPE_UYVY, 1280, 720, 16, kUyvy);
    CMediaType shortBlock = Uyvy(1280, 720);
    shortBlock.cbFormat = 87;
    const struct {
        const char* name;
        CMediaType type;
        HRESULT expected;
    } cases[] = {
        {"1280 x 720 with 1,843,200 bytes", Uyvy(1280, 720, 1843200), S_OK},
        {"one byte short", Uyvy(1280, 720, 1843199), VFW_E_TYPE_NOT_ACCEPTED},
        {"bottom-up", Uyvy(1280, -720, 1843200), S_OK},
        {"RGB24", rgb, VFW_E_TYPE_NOT_ACCEPTED},
        {"YUY2", yuy2, VFW_E_TYPE_NOT_ACCEPTED},
        {"VIDEOINFOHEADER2", info2, VFW_E_TYPE_NOT_ACCEPTED},
        {"short block", shortBlock, VFW_E_TYPE_NOT_ACCEPTED},
        {"width 0", Uyvy(0, 720, 0), VFW_E_TYPE_NOT_ACCEPTED},
        {"target inside", Uyvy(1280, 720, -1, RECT{16, 8, 1264, 712}), S_OK},
        {"target wider than the picture", Uyvy(1280, 720, -1, RECT{0, 0, 1300, 720}),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"target below the picture", Uyvy(1280, 720, -1, RECT{0, 0, 1280, 721}),
         VFW_E_TYPE_NOT_ACCEPTED},
        {"target left of the picture", Uyvy(1280, 720, -1, RECT{-2, 0, 100, 100}),
         VFW_E_TYPE_NOT_ACCEPTED},
    };
    Brightness brightness;
    for (const auto& c : cases) {
        EXPECT_EQ(brightness.object->CheckInputType(&c.type), c.expected) << c.name;
    }

    // A UYVY type that claims 24 bits a pixel is taken as UYVY, and stays as its owner made it.
    CMediaType claimed = Uyvy(64, 32);
    reinterpret_cast<VIDEOINFOHEADER*>(claimed.Format())->bmiHeader.biBitCount = 24;
    reinterpret_cast<VIDEOINFOHEADER*>(claimed.Format())->bmiHeader.biCompression = 0;
    const CMediaType before = claimed;
    EXPECT_EQ(brightness.object->CheckInputType(&claimed), S_OK);
    EXPECT_EQ(std::memcmp(claimed.Format(), before.Format(), before.FormatLength()), 0);
}

TEST(BrightnessTypes, WritesIntoPicturesAtLeastAsWideAndAsHigh)
{
    Brightness brightness;
    const CMediaType input = Uyvy(1280, 720);
    const struct {
        const char* name;
        CMediaType output;
        HRESULT expected;
    } cases[] = {
        {"the same", Uyvy(1280, 720), S_OK},
        {"wider", Uyvy(1920, 720), S_OK},
        {"bottom-up", Uyvy(1280, -720), S_OK},
        {"narrower", Uyvy(1024, 720), VFW_E_TYPE_NOT_ACCEPTED},
        {"higher", Uyvy(1280, 1080), VFW_E_TYPE_NOT_ACCEPTED},
        {"not UYVY", VideoInfoType(kSubtypeRgb24, 1280, 720, 24, 0), VFW_E_TYPE_NOT_ACCEPTED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(brightness.object->CheckTransform(&input, &c.output), c.expected) << c.name;
    }
}

// The output offers the input's own type, and its buffers hold the larger of what the
// renderer asks for, the input's buffers and the output's picture: always at least one.
TEST(BrightnessBuffers, AsksForAtLeastOneBufferThatHoldsEitherPicture)
{
    Line line(Uyvy(8, 4), Uyvy(8, 4), 64);
    ASSERT_TRUE(line.ok);
    CMediaType offered;
    ASSERT_EQ(line.brightness.object->GetMediaType(0, &offered), S_OK);
    EXPECT_TRUE(offered == Uyvy(8, 4));
    EXPECT_EQ(line.brightness.object->GetMediaType(1, &offered), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(line.brightness.object->GetMediaType(-1, &offered), E_INVALIDARG);

    const struct {
        ALLOCATOR_PROPERTIES request;
        LONG buffers;
        LONG bytes;
    } cases[] = {
        {{0, 1000, 0, 0}, 1, 1000},  // no count but a size
        {{0, 0, 0, 0}, 1, 64},       // nothing asked: the input's size
        {{3, 10, 1, 0}, 3, 64},      // a small size: the input's wins
    };
    for (const auto& c : cases) {
        HRESULT hr = S_OK;
        ComPtr<IMemAllocator> allocator;
        auto* made = new CMemAllocator(NAME("test"), nullptr, &hr);
        made->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&allocator));
        ALLOCATOR_PROPERTIES request = c.request;
        ASSERT_EQ(line.brightness.object->DecideBufferSize(allocator.Get(), &request), S_OK);
        ALLOCATOR_PROPERTIES actual = {};
        allocator->GetProperties(&actual);
        EXPECT_EQ(actual.cBuffers, c.buffers);
        EXPECT_EQ(actual.cbBuffer, c.bytes);
    }

    // A wider output needs its own picture's size, more than the input's buffers hold.
    Line wide(Uyvy(8, 4), Uyvy(32, 4), 64);
    ASSERT_TRUE(wide.ok);
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(wide.renderer->InputPin()->QueryInterface(IID_PPV_ARGS(&input)), S_OK);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES actual = {};
    allocator->GetProperties(&actual);
    EXPECT_GE(actual.cbBuffer, 32 * 2 * 4);
}

// Luma moves by the offset and stops at 0 and 255; chroma stays.
TEST(BrightnessPixels, AddsTheOffsetToLumaOnly)
{
    const struct {
        int32_t offset;
        BYTE luma;
        BYTE expected;
    } cases[] = {{40, 230, 255}, {40, 100, 140},  {-40, 30, 0},   {-40, 100, 60},
                 {255, 1, 255},  {-1000, 200, 0}, {1000, 0, 255}, {1, 254, 255}};
    // 38 pixels: two whole 16-byte blocks and a tail of 12 bytes per row.
    const int width = 38;
    const int stride = width * 2;
    Line line(Uyvy(width, 3), Uyvy(width, 3), stride * 3);
    ASSERT_TRUE(line.ok);
    for (const auto& c : cases) {
        Offset offset(c.offset);
        const std::vector<BYTE> in = Picture(width, 3, stride, c.luma);
        const std::vector<BYTE> out = line.Pass(in);
        ASSERT_EQ(out.size(), in.size()) << c.offset;
        for (size_t i = 0; i < in.size(); ++i) {
            EXPECT_EQ(out[i], i % 2 ? c.expected : in[i])
                << "offset " << c.offset << " luma " << int(c.luma) << " byte " << i;
        }
    }
}

// With offset 0 each row is copied over the whole input stride, also the bytes past the
// picture's width; with an offset only the picture's own pixels are written.
TEST(BrightnessPixels, OffsetZeroCopiesWholeRows)
{
    // rcTarget: 6 of the row's 10 pixels.
    const CMediaType type = Uyvy(10, 2, -1, RECT{0, 0, 6, 2});
    Line line(type, type, 40);
    ASSERT_TRUE(line.ok);
    const std::vector<BYTE> in = Picture(10, 2, 20, 90);
    {
        Offset offset(0);
        EXPECT_EQ(line.Pass(in), in);
    }
    {
        Offset offset(10);
        const std::vector<BYTE> out = line.Pass(in);
        ASSERT_EQ(out.size(), in.size());
        for (int row = 0; row < 2; ++row) {
            for (int i = 0; i < 12; ++i) {
                const size_t at = size_t(row) * 20 + i;
                EXPECT_EQ(out[at], i % 2 ? 100 : in[at]) << row << " " << i;
            }
        }
    }
}

// A renderer that puts a wider type on a sample gets its rows at that stride from then on,
// not at the stride the filter had worked out before; a type the filter cannot write, or one
// whose picture does not fit the buffer, drops that picture.
TEST(BrightnessTypeChange, WritesAtTheStrideOfANewOutputType)
{
    Offset offset(5);
    const int width = 8;
    const int rows = 4;
    // The output starts 16 pixels wide: its buffers hold 128 bytes.
    Line line(Uyvy(width, rows), Uyvy(16, rows), width * 2 * rows);
    ASSERT_TRUE(line.ok);
    const std::vector<BYTE> in = Picture(width, rows, width * 2, 50);
    ASSERT_EQ(line.Pass(in).size(), size_t(16 * 2 * rows));

    const struct {
        const char* name;
        CMediaType type;
        int stride;  // bytes; 0: the picture is dropped
    } cases[] = {
        {"RGB24", VideoInfoType(kSubtypeRgb24, width, rows, 24, 0), 0},
        {"too large for the buffer", Uyvy(64, rows), 0},
        {"twelve pixels wide", Uyvy(12, rows), 24},
    };
    for (const auto& c : cases) {
        line.renderer->AttachTypeToNextSample(c.type);
        const std::vector<BYTE> out = line.Pass(in);
        if (c.stride == 0) {
            EXPECT_TRUE(out.empty()) << c.name;
            continue;
        }
        ASSERT_GE(out.size(), size_t(c.stride) * (rows - 1) + width * 2) << c.name;
        for (int row = 0; row < rows; ++row) {
            for (int i = 0; i < width * 2; ++i) {
                EXPECT_EQ(out[size_t(row) * c.stride + i],
                          i % 2 ? 55 : in[size_t(row) * width * 2 + i])
                    << c.name << " row " << row << " byte " << i;
            }
        }
    }
}

// The offset is one value of the process, set and read through the library's exports while
// pictures stream: every row gets one of the offsets that were set, whole.
TEST(BrightnessExports, SetAndReadTheOffsetWhilePicturesStream)
{
    HMODULE module = LoadLibraryW(LibraryPath("kv_transform.dll").c_str());
    ASSERT_NE(module, nullptr);
    typedef LONG(WINAPI * SetProc)(LONG);
    typedef LONG(WINAPI * GetProc)();
    auto set = Export<SetProc>(module, "setbrightness");
    auto get = Export<GetProc>(module, "getbrightness");
    ASSERT_NE(set, nullptr);
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(set(40), 40);
    EXPECT_EQ(get(), 40);
    EXPECT_EQ(set(-7), -7);
    EXPECT_EQ(get(), -7);
    set(0);

    // The filter of this test is linked in, with its own offset: the same exports are what
    // change it, so they are exercised here against the in-process filter's value.
    const int width = 64;
    const int rows = 32;
    Line line(Uyvy(width, rows), Uyvy(width, rows), width * 2 * rows);
    ASSERT_TRUE(line.ok);
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; !done; ++i)
            g_brightness = (i % 2) ? 20 : 0;
    });
    const std::vector<BYTE> in = Picture(width, rows, width * 2, 100);
    for (int picture = 0; picture < 20; ++picture) {
        const std::vector<BYTE> out = line.Pass(in);
        ASSERT_EQ(out.size(), in.size());
        for (int row = 0; row < rows; ++row) {
            const BYTE* first = out.data() + size_t(row) * width * 2;
            EXPECT_TRUE(first[1] == 100 || first[1] == 120) << int(first[1]);
            for (int i = 1; i < width * 2; i += 2)
                ASSERT_EQ(first[i], first[1]) << row;
        }
    }
    done = true;
    changer.join();
    g_brightness = 0;
}

TEST(BrightnessLibrary, RegistersAFilterThatOnlyACallerByIdentifierUses)
{
    TemporaryRegistry registry;
    HMODULE module = LoadLibraryW(LibraryPath("kv_transform.dll").c_str());
    ASSERT_NE(module, nullptr);
    for (const char* name : {"DllMain", "DllEntryPoint", "g_brightness", "g_Templates"}) {
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
    }
    typedef HRESULT(STDAPICALLTYPE * PlainProc)();
    ASSERT_EQ(Export<PlainProc>(module, "DllRegisterServer")(), S_OK);

    const std::wstring server = ClassKey(CLSID_KVBrightnessFilter);
    EXPECT_EQ(ReadString(server, nullptr), L"KV Brightness Filter");
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", nullptr), LibraryPath("kv_transform.dll"));
    EXPECT_EQ(ReadString(server + L"\\InprocServer32", L"ThreadingModel"), L"Both");
    const std::wstring instance = FilterInstanceKey(CLSID_KVBrightnessFilter);
    EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"KV Brightness Filter");
    const RegisteredFilter data = ReadFilterData(ReadValue(instance, L"FilterData"));
    EXPECT_EQ(data.merit, DWORD(MERIT_DO_NOT_USE));
    ASSERT_EQ(data.pins.size(), 2u);
    EXPECT_EQ(data.pins[0].flags, 0u);
    EXPECT_EQ(data.pins[1].flags, DWORD(REG_PINFLAG_B_OUTPUT));

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ComPtr<IBaseFilter> filter;
        EXPECT_EQ(CoCreateInstance(CLSID_KVBrightnessFilter, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&filter)),
                  S_OK);
    }
    ASSERT_EQ(Export<PlainProc>(module, "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ReadString(instance, L"FriendlyName"), L"<missing>");
    CoUninitialize();
}
