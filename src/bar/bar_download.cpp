// Downloading every image into a folder.
#include "bar/form1.h"

namespace zx {

void TForm1::CreateHttpClient() {}
void TForm1::Button4Click() {}

}  // namespace zx
