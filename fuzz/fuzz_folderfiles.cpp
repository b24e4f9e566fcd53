#include "fuzz/fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return runFuzzCheck("fuzz_folderfiles", data, size, fuzzchecks::checkFolderFiles);
}
