// The mail queue's and sender's tests, run once per engine.

#include "support/TestEngine.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("test_mail");
    return TestEngine::RunAll(argc, argv);
}
