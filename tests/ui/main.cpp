// The seam's and widgets' tests; also the unattended child the seam tests start.

#include "UnattendedChild.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("test_ui"));
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String(UnattendedChild::Argument))
        UnattendedChild::Run();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
