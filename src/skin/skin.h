#pragma once
// The program's one built-in look, applied to every window, control, menu
// and dialog; and the pictures it ships.
#include <string>

class QApplication;

namespace zx {

// Unpacks the packed style sheet; throws zx::Exception when it is damaged.
std::string UnpackSkin();
// Sets the look and the font (the closest sans font at 8 pt) on `app`.
void ApplySkin(QApplication& app);

}  // namespace zx
