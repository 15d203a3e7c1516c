// Downloading every image into a folder.
#include "bar/form1.h"
#include "net/id_http.h"

namespace zx {

void TForm1::CreateHttpClient() { IdHTTP1 = std::make_shared<TIdHTTP>(); }
void TForm1::Button4Click() {}

}  // namespace zx
