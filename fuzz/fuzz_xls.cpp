// libFuzzer target for legacy workbooks (FreeXL): any OLE2 file may come in, none may crash or hang.
#include "WorkbookFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return fuzzWorkbookFile(data, size, ".xls", QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
}
