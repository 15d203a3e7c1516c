#pragma once
// Images dragged out of a view keep their web address. The engine hands such
// a drag out as a file it writes for the occasion, and nothing in the drag
// names where the image came from but the dragged element's markup. The
// address is recorded as the file's URL-cache entry (the platform's lookup,
// and browsers, read it), so that a drop on a cell, also after a stop in a
// file manager, is taken with its web address.
#include <string>

namespace zx {

// The web address (http, https or ftp) of the first image element in an
// HTML fragment: its src attribute with character references decoded; empty
// when there is no such element or its source is no web address.
std::string DraggedImageAddress(const std::string& html);

// From now on, every drag that starts in the program and carries local files
// and image markup gets the image's address recorded for those files. Call
// once the application object exists; later calls do nothing.
void RecordDraggedImageOrigins();

}  // namespace zx
