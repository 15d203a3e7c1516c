// Reveal, hide, hover preview and arrow keys: the bar's 200 ms tick.
#include "bar/form1.h"

namespace zx {

void TForm1::InstallApplicationEvents() {}
void TForm1::Timer1Timer() {}
bool TForm1::ApplicationEvents1ShortCut(int) { return false; }
void TForm1::SetFormShown(QWidget*, bool) {}
bool TForm1::InputDesktopAvailable() { return platform().InputDesktopAvailable(); }
void TForm1::HoverUpdate(const Point&) {}

}  // namespace zx
