// The books from the billing window: F9 wherever the cursor is.
#include "billing/BillingFixture.h"
#include "platform/ui/seam/ScriptedUi.h"

#include <QFile>

namespace {

TEST_F(BillingTest, F9WritesTheBooksOfThePeriodAnswered) {
    Open();
    const QString csv = suite.Root() + "/f9.csv";
    suite.Ui().Inputs = {"01-02-2025", "28-02-2025"};
    suite.Ui().Files = {csv};
    QApplication::setActiveWindow(w.get());
    w->gdFacturacion->setFocus();
    QTest::keyClick(w->gdFacturacion, Qt::Key_F9);
    EXPECT_EQ(suite.Ui().Shown.mid(suite.Ui().Shown.size() - 4),
              (QStringList{"[Libros contables] Desde el día (dd-mm-aaaa):",
                           "[Libros contables] Hasta el día (dd-mm-aaaa):",
                           "[Libros contables] " +
                               QDir::home().filePath("Libros 01-02-2025 28-02-2025.xlsx"),
                           "[Aviso] Libros escritos en " + csv + "."}));
    QFile in(csv);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_TRUE(in.readAll().contains("\r\nTotal;;27;313,40;59,28\r\n"));
}

} // namespace
