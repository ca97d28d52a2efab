// The libFuzzer entry of one fuzzer: BD_FUZZ_HARNESS names its harness. Writes are watched while the
// harness runs (WriteGuard.c): the fuzzer's own corpus and crash files are written between runs.
#include "FuzzSupport.h"

extern "C" void bd_fuzz_guard_writes(const char* allowedFolder, int on);

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    bd::fuzz::initProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QByteArray scratch = bd::fuzz::scratchDir().toLocal8Bit();
    bd_fuzz_guard_writes(scratch.constData(), 1);
    BD_FUZZ_HARNESS(data, size);
    bd_fuzz_guard_writes(scratch.constData(), 0);
    return 0;
}
