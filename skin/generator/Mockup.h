// Mock-ups of the main dialog and of the full-screen bars, put together from the skin's
// pictures at the places the controls give them, with sample texts in the controls' colours.
// They are for looking at the skin as a user would see it; the viewer draws its own windows.
#pragma once

#include <map>
#include <string>

#include "Image.h"

namespace skin {

// The pictures by name, as the generator drew them.
using PictureSet = std::map<std::string, const Image*>;

Image MockMainDialog(const PictureSet& pictures);
Image MockFullScreen(const PictureSet& pictures);

}  // namespace skin
