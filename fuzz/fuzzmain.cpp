// The libFuzzer entry of one target; ARDEMO_FUZZ_BODY names its body in fuzzbodies.h.

#include "fuzzbodies.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reply body builds source panels: widgets need an application, and the fuzzer
    // runs without a display. The application lives until the process ends.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8");
    static int argc = 1;
    static char name[] = "ardemo-fuzz";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        ARDEMO_FUZZ_BODY(data, size);
    } catch (const EFuzzInvariant &e) {
        std::fprintf(stderr, "==invariant== %s\n", e.what());
        std::abort();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "==uncaught error== %s\n", e.what());
        std::abort();
    }
    return 0;
}
