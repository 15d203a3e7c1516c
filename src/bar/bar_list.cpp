// Saving and loading the bar list.
#include "bar/form1.h"

namespace zx {

void TForm1::Button2Click() {}
void TForm1::Button3Click() {}

}  // namespace zx
