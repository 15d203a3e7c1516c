#pragma once
// Picking a free file name in a folder: the name itself when no file of that
// name is there, else the name with "(n)" before its extension for the
// smallest n that is free.
#include <functional>
#include <string>

#include "platform/files.h"

namespace zx {

// folder + "/" + name.
std::string JoinPath(const std::string& folder, const std::string& name);

// The part of `name` that numbering keeps after "(n)": from its last "." to
// the end when that "." comes after every "/", "\" and ":" in the name; else
// empty.
std::string ExtensionKeptByNumbering(const std::string& name);

using ExistsTest = std::function<bool(const std::string& path)>;

// `name` when folder/name does not exist, else stem + "(n)" + extension for
// the first n from 1 whose path does not exist. Gaps are filled. Throws
// EFCreateError when even the last n tried (kMaxUniqueNumber) is taken.
std::string UniqueFileName(const std::string& folder, const std::string& name, const ExistsTest& exists = FileExists);

inline constexpr int kMaxUniqueNumber = 1000000;

}  // namespace zx
