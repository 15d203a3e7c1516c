// The logo opens the about window.
#include "about/form2.h"
#include "bar/form1.h"

namespace zx {

void TForm1::Image1Click() {
    if (Form2) Form2->ShowModal();
}

}  // namespace zx
