// libFuzzer target for zipped workbooks (orcus): any ZIP file may come in, none may crash or hang.
#include "WorkbookFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return fuzzWorkbookFile(data, size, ".xlsx", QByteArrayView("PK\x03\x04", 4));
}
