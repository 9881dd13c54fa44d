// The utility component's tests.

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("test_util"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
