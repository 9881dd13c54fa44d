// Every saved input of every fuzz target, replayed by a plain test run.

#include "FuzzTargets.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

// Every input of every fuzz target: the seeds, and each input that ever crashed or hung one (CI
// saves those into the corpus). A plain test run replays them all.
TEST(FuzzCorpus, EverySavedInputRunsThroughItsTarget) {
    const QString source = qEnvironmentVariable("TV_SOURCE_DIR");
    if (source.isEmpty())
        GTEST_SKIP() << "TV_SOURCE_DIR names the source tree";
    for (const QString& name : FuzzTargets::Names()) {
        int inputs = 0;
        for (const QString& folder : FuzzTargets::InputFolders(name)) {
            QDirIterator files(QDir(source).filePath(folder), QDir::Files | QDir::Hidden);
            while (files.hasNext()) {
                QFile file(files.next());
                ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
                SCOPED_TRACE(file.fileName().toStdString());
                FuzzTargets::Run(name, file.readAll());
                ++inputs;
            }
        }
        EXPECT_GT(inputs, 0) << name.toStdString() << " has no corpus";
    }
}
