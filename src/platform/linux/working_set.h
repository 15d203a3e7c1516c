#pragma once
// Most of the code the program maps is needed only once: the engine library
// alone runs about 90 MiB of its code while it starts and loads pages, and
// needs about a third of it afterwards. The kernel keeps such pages mapped
// until memory gets short, so they count as the program's own. Handing them
// back unmaps them at once; the page cache keeps them, so a page that is
// used again comes back without reading the disk.
#include <cstddef>

namespace zx {

// Unmaps the pages of every loaded library's read-only segments (code and
// constant data). Only segments that hold no page of the process's own
// (no copy-on-write copy, no text relocation) are touched, so no content is
// lost: each page reads back exactly as it was. Writable segments, the heap
// and all other mappings stay as they are. Safe from any thread; libraries
// cannot be loaded or unloaded meanwhile. Returns the bytes handed back
// (none when the process cannot read its own mappings).
size_t HandBackLibraryPages();

}  // namespace zx
