// One libFuzzer target; MARNIFEX_FUZZ_TARGET names the entry point it drives.
#include "fuzz/fuzzentry.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The parsers' debug lines would drown the fuzzer's own output and slow it down.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::abort();
    }
}

FuzzEntry::Function entry = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietHandler);
    entry = FuzzEntry::find(QStringLiteral(MARNIFEX_FUZZ_TARGET));
    if (!entry) {
        std::fprintf(stderr, "No fuzzing entry point %s\n", MARNIFEX_FUZZ_TARGET);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString failure = entry(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "Broken check: %s\n", qPrintable(failure));
        std::abort();
    }
    return 0;
}
