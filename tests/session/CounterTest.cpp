// The counters: each branch's next number, never the same one for two processes.

#include "SessionTest.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QTextStream>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr int kProcesses = 8;
constexpr int kDrawsEach = 200;

void AddCounter(const QString& sId, int branch, qint64 value) {
    DataAccess::instance().InsertRecord("Contadores", "sId,nIdSucursal,nContador",
                                        QString("'%1',%2,%3").arg(sId).arg(branch).arg(value));
}

QString CounterTable() {
    const Rows rows = DataAccess::instance().GetRows(
        "select sId,nIdSucursal,nContador from Contadores order by nIdContador");
    QStringList text;
    for (int row = 0; row < rows.RowCount(); ++row)
        text << rows.Value(0, row).toString() + "/" + rows.Value(1, row).toString() + "=" +
                    rows.Value(2, row).toString();
    return text.join(' ');
}

} // namespace

TEST(Counter, HandsOutTheNextNumberOfTheSessionsBranchOnly) {
    TestSuite suite;
    suite.SignIn();
    AddCounter("Prueba", Gi.nIdSucursal, 41);
    AddCounter("Prueba", 99, 7);
    AddCounter("Tope", Gi.nIdSucursal, 2147483647);

    EXPECT_EQ(G::IncreaseCounter("Prueba"), 41);
    const QString after = CounterTable();
    EXPECT_TRUE(after.contains("Prueba/1=42") && after.contains("Prueba/99=7"))
        << after.toStdString();

    EXPECT_EQ(G::IncreaseCounter("No existe"), 0);
    EXPECT_EQ(G::IncreaseCounter("O'Brien"), 0);
    EXPECT_EQ(EndStatus([] { G::IncreaseCounter("Tope"); }), 1);
    EXPECT_TRUE(Shown(suite, "G::IncreaseCounter"));
    suite.SignIn();
    EXPECT_EQ(CounterTable(), after);
}

// Only run as a child of ProcessesNeverShareANumber.
TEST(Counter, DISABLED_DrawForAnotherProcess) {
    G::Init("admin:admin||" + qEnvironmentVariable("TV_COUNTER_INI"));
    QFile out(qEnvironmentVariable("TV_COUNTER_OUT"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    QTextStream stream(&out);
    for (int i = 0; i < kDrawsEach; ++i)
        stream << G::IncreaseCounter("Concurrente") << "\n";
}

TEST(Counter, ProcessesNeverShareANumber) {
    TestSuite suite;
    suite.SignIn();
    AddCounter("Concurrente", Gi.nIdSucursal, 1);

    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < kProcesses; ++i) {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVELO_UNATTENDED", "1");
        env.insert("TV_COUNTER_INI", suite.IniPath());
        env.insert("TV_COUNTER_OUT", suite.Root() + QString("/numeros%1.txt").arg(i));
        children.push_back(std::make_unique<QProcess>());
        children.back()->setProcessEnvironment(env);
        children.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        children.back()->start(QCoreApplication::applicationFilePath(),
                               {"--gtest_also_run_disabled_tests",
                                "--gtest_filter=Counter.DISABLED_DrawForAnotherProcess"});
    }
    QList<int> numbers;
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_TRUE(children[i]->waitForFinished(120000));
        EXPECT_EQ(children[i]->exitCode(), 0);
        QFile in(suite.Root() + QString("/numeros%1.txt").arg(i));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        for (const QByteArray& line : in.readAll().split('\n'))
            if (!line.isEmpty())
                numbers << line.toInt();
    }
    std::sort(numbers.begin(), numbers.end());
    QList<int> expected(kProcesses * kDrawsEach);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(numbers, expected) << "numbers repeated or skipped";
}
