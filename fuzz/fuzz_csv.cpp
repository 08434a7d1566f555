// libFuzzer target for CSV files: any bytes named .csv may come in, none may crash or hang.
#include "WorkbookFileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return fuzzWorkbookFile(data, size, ".csv", QByteArrayView());
}
