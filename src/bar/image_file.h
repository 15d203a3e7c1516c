#pragma once
// The file a downloaded image goes into: made new in the chosen folder,
// written, then closed.
#include <cstddef>
#include <string>
#include <utility>

#include "bar/unique_name.h"
#include "platform/files.h"

namespace zx {

class ImageFile {
public:
    // Creates folder/name as a new file (mode 0666 less the umask, as any
    // program's new files). An entry that is already there is never opened
    // or replaced: when a file or a link of that name has appeared since
    // `name` was picked from `baseName` (UniqueFileName), the next free name
    // for `baseName` is picked instead. No lock is taken. A name that cannot
    // be a file in the folder (empty, ".", "..", or holding "/") and every
    // other failure throw EFCreateError "Cannot create file "<path>". <system
    // error text>".
    static ImageFile Create(const std::string& folder, const std::string& name, const std::string& baseName,
                            const ExistsTest& exists = FileExists);
    static ImageFile Create(const std::string& folder, const std::string& name) { return Create(folder, name, name); }
    // The same in a folder opened once: names are looked up and the file is
    // made in that folder, never through a link its path has become since.
    static ImageFile Create(const OpenFolder& folder, const std::string& name, const std::string& baseName);
    // The ExistsTest of paths in an opened folder, for UniqueFileName.
    static ExistsTest ExistsIn(const OpenFolder& folder);

    const std::string& Path() const { return file_.Path(); }

    // Writes all `size` bytes; throws EWriteError "Stream write error" when
    // the system takes fewer (a full disk, a size limit). What was written
    // before the failure stays in the file.
    void Write(const char* data, size_t size) { file_.Write(data, size); }
    // Closes the file; a failure that the system reports only at closing
    // counts as a failed write. Destroying an open file closes it silently.
    void Close() { file_.Close(); }

private:
    explicit ImageFile(NewFile file) : file_(std::move(file)) {}

    NewFile file_;
};

}  // namespace zx
