#pragma once
// The pictures of the main window, drawn here so that the program ships no image files: the
// 16-pixel browser images (badges of colour and letters, no vendor's logo), the 24-pixel action
// images and the 16-pixel tab images.

#include <QIcon>

namespace quillon {

// Browser images 0 .. 16: 0 and 1 mark the support of a kind in the table of supported browsers
// (full, partial); the others stand for browser families at the image indexes of the browser
// types. Anything else, including -1 ("none"), is a null icon.
constexpr int kBrowserImageCount = 17;
QIcon BrowserImage(int index);

// A transparent 16-pixel picture, for a place that shows no image beside others that do.
QIcon BlankImage();

// Action images: 0 refresh, 1 clean, 2 purge, 3 helpers.
constexpr int kActionImageCount = 4;
QIcon ActionImage(int index);

// Tab images: 0 cache, 1 cookies, 2 history, 3 info, 4 start pages, 5 bookmarks, 6 log.
constexpr int kTabImageCount = 7;
QIcon TabImage(int index);

} // namespace quillon
