// One libFuzzer program per target: TV_FUZZ_TARGET names it (see tests/fuzz/CMakeLists.txt).

#include "FuzzTargets.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

// The report writers measure text, which needs a GUI application; it lives until the process
// ends, as the fuzzer's own state does.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int arguments = *argc;
    static QGuiApplication* application = new QGuiApplication(arguments, *argv);
    Q_UNUSED(application);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzTargets::Run(TV_FUZZ_TARGET,
                     QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
