#pragma once

#include "fuzz/fuzzchecks.h"

#include <QDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// One fuzz target's entry: runs the check on the input in the target's scratch folder and stops
// the run with a report on any broken invariant. The folder has a fixed name, emptied when the
// run starts: libFuzzer gives one input at a time, and a run that stops leaves one folder behind.
template <typename Check>
int runFuzzCheck(const char* target, const uint8_t* data, size_t size, Check check)
{
    static const QString scratch = [target] {
        QDir folder(
            QDir::temp().filePath(QStringLiteral("quelvana-%1").arg(QLatin1String(target))));
        if (!folder.removeRecursively() || !folder.mkpath(QStringLiteral("."))) {
            std::fprintf(stderr, "fuzz: no scratch folder %s\n", qPrintable(folder.path()));
            std::abort();
        }
        return folder.path();
    }();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const fuzzchecks::Outcome outcome = check(bytes, scratch);
    if (!outcome.violations.isEmpty()) {
        for (const QString& violation : outcome.violations)
            std::fprintf(stderr, "fuzz: %s\n", qPrintable(violation));
        std::abort();
    }
    return 0;
}
