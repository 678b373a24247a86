// A module built like the brand module: its only content is the "PNG" resource "IDB_BI", a
// 3 x 2 picture, published while the module is loaded and withdrawn when it is unloaded.
#include "kernel/module.h"
#include "pictures.h"

namespace {

struct BrandResources {
    BrandResources()
    {
        pngtest::Picture picture(3, 2);
        picture.At(0, 0) = 0xFF102030;
        picture.At(1, 0) = 0x80FFFFFF;
        picture.At(2, 0) = 0x00FFFFFF;
        picture.At(0, 1) = 0xFFFFFFFF;
        picture.At(1, 1) = 0xFF000000;
        picture.At(2, 1) = 0xFF0A0B0C;
        bytes = pngtest::Encode(picture);
        entry = {L"PNG", L"IDB_BI", 0, 0, DWORD(bytes.size()), bytes.data()};
        table = {&entry, 1};
        platform::RegisterResourceTable(&table);
    }
    ~BrandResources() { platform::UnregisterResourceTable(&table); }

    std::vector<uint8_t> bytes;
    platform::ResourceEntry entry;
    platform::ResourceTable table;
} g_brandResources;

}  // namespace
