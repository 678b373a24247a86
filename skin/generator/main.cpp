// skingen: draws every picture of the skin table as a PNG file into a folder, and optionally a
// contact sheet of them all, headed by mock-ups of the windows that show them. Runs at build
// time.
//
//   skingen <folder> [--sheet <file.png>]
//
// Exit status 0 when every picture was written, 1 on a drawing or writing failure, 2 on a bad
// command line.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Artwork.h"
#include "ContactSheet.h"
#include "Mockup.h"
#include "SkinTable.h"

int main(int argc, char** argv)
{
    std::string folder;
    std::string sheet;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) {
            sheet = argv[++i];
        } else if (folder.empty() && argv[i][0] != '-') {
            folder = argv[i];
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: skingen <folder> [--sheet <file.png>]\n");
        return 2;
    }
    int status = 0;
    try {
        std::vector<skin::SheetEntry> entries;
        for (size_t i = 0; i < skin::kPictureCount; ++i) {
            const skin::Picture& picture = skin::kPictures[i];
            skin::Image image = skin::RenderPicture(picture);
            skin::WritePng(image, folder + "/" + skin::FileNameOf(picture));
            if (!sheet.empty())
                entries.push_back({&picture, std::move(image)});
        }
        if (!sheet.empty()) {
            skin::PictureSet pictures;
            for (const skin::SheetEntry& entry : entries) {
                pictures[entry.picture->name] = &entry.image;
            }
            std::vector<skin::SheetView> views;
            views.push_back({"The main dialog", skin::MockMainDialog(pictures)});
            views.push_back({"Full screen, with the speed and volume panels open",
                             skin::MockFullScreen(pictures)});
            skin::WriteContactSheet(views, entries, sheet);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skingen: %s\n", error.what());
        status = 1;
    }
    // Cairo and fontconfig keep caches for the life of the process; they are emptied so that
    // a leak checker sees only what this program failed to free.
    cairo_debug_reset_static_data();
    FcFini();
    return status;
}
