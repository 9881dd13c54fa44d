// The schema's and the generated clinics' tests, run once per engine.

#include "support/TestEngine.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return TestEngine::RunAll(argc, argv);
}
