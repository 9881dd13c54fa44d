// The data layer's tests, run once per engine; also the lock tests' competing process.

#include "LockChild.h"
#include "support/TestEngine.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The lock tests start this very program again as the competing process.
    if (argc > 1 && QString::fromLatin1(argv[1]).startsWith(QStringLiteral("--lock-"))) {
        QCoreApplication app(argc, argv);
        return RunLockChild(app.arguments());
    }
    QApplication app(argc, argv);
    return TestEngine::RunAll(argc, argv);
}
