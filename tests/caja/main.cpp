// The till closing's tests, run once per engine.

#include "support/TestEngine.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("test_caja");
    return TestEngine::RunAll(argc, argv);
}
