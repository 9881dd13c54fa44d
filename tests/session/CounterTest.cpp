#include "SessionTest.h"
#include "TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTextStream>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr int kProcesses = 4;
constexpr int kDrawsEach = 50;

void AddCounter(const QString& sId, int branch, qint64 value) {
    DataAccess::instance().InsertRecord("Contadores", "sId,nIdSucursal,nContador",
                                        Utility::Quote(sId) + "," + QString::number(branch) + "," +
                                            QString::number(value));
}

QVariant CounterValue(const QString& sId, int branch) {
    return DataAccess::instance().GetValue(
        "Contadores", "sId=" + Utility::Quote(sId) + " AND nIdSucursal=" + QString::number(branch),
        "nContador");
}

QString CounterTable() {
    const Rows rows =
        DataAccess::instance().GetRows("select * from Contadores order by nIdContador");
    QStringList text;
    for (int row = 0; row < rows.RowCount(); ++row)
        for (int column = 0; column < rows.ColumnCount(); ++column)
            text << rows.Value(column, row).toString();
    return text.join('|');
}

} // namespace

TEST(Counter, HandsOutTheNextNumberOfTheSessionsBranch) {
    TestSuite suite;
    suite.SignIn();
    AddCounter("Prueba", Gi.nIdSucursal, 41);
    AddCounter("Prueba", 99, 7);

    EXPECT_EQ(G::IncreaseCounter("Prueba"), 41);
    EXPECT_EQ(CounterValue("Prueba", Gi.nIdSucursal).toInt(), 42);
    EXPECT_EQ(CounterValue("Prueba", 99).toInt(), 7);
    EXPECT_EQ(G::IncreaseCounter("Prueba"), 42);

    const QString before = CounterTable();
    EXPECT_EQ(G::IncreaseCounter("No existe"), 0);
    EXPECT_EQ(G::IncreaseCounter("O'Brien"), 0);
    EXPECT_EQ(CounterTable(), before);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());
}

TEST(Counter, PassingThe32BitRangeIsAnError) {
    TestSuite suite;
    suite.SignIn();
    AddCounter("Tope", Gi.nIdSucursal, 2147483647);

    EXPECT_NE(EndStatus([] { G::IncreaseCounter("Tope"); }), -1);
    EXPECT_TRUE(suite.Ui().Shown.join('\n').contains("G::IncreaseCounter"));
    suite.SignIn();
    EXPECT_EQ(CounterValue("Tope", Gi.nIdSucursal).toLongLong(), 2147483647);
}

// Run only as a child of ProcessesNeverShareANumber: draws numbers and writes them down.
TEST(Counter, DISABLED_DrawForAnotherProcess) {
    const QString ini = qEnvironmentVariable("TV_COUNTER_INI");
    ASSERT_FALSE(ini.isEmpty());
    G::Init("admin:admin|" + TodayNumber() + "|" + ini + "|0|0|0|0");
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
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TV_COUNTER_INI", suite.IniPath());
        env.insert("TV_COUNTER_OUT", suite.Root() + QString("/numeros%1.txt").arg(i));
        auto child = std::make_unique<QProcess>();
        child->setProcessEnvironment(env);
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(),
                     {"--gtest_also_run_disabled_tests",
                      "--gtest_filter=Counter.DISABLED_DrawForAnotherProcess"});
        children.push_back(std::move(child));
    }

    QSet<int> numbers;
    int drawn = 0;
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_TRUE(children[i]->waitForFinished(120000));
        EXPECT_EQ(children[i]->exitCode(), 0);
        QFile in(suite.Root() + QString("/numeros%1.txt").arg(i));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        for (const QByteArray& line : in.readAll().split('\n'))
            if (!line.isEmpty()) {
                numbers.insert(line.toInt());
                ++drawn;
            }
    }
    EXPECT_EQ(drawn, kProcesses * kDrawsEach);
    EXPECT_EQ(numbers.size(), kProcesses * kDrawsEach) << "a number was handed out twice";
    for (int n = 1; n <= kProcesses * kDrawsEach; ++n)
        EXPECT_TRUE(numbers.contains(n)) << "skipped " << n;
    EXPECT_EQ(CounterValue("Concurrente", Gi.nIdSucursal).toInt(), kProcesses * kDrawsEach + 1);
}
