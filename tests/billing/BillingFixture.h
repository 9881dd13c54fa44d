#pragma once

// The billing window on the demo clinic, opened as the module opens it, with shorthand for
// driving its grid and reading the database back.
#include "RowText.h"
#include "support/TestSuite.h"

#include "billing/CSearch.h"
#include "billing/Facturacion.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/widgets/GridController.h"
#include "session/Gi.h"

#include <QApplication>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class BillingTest : public ::testing::Test {
protected:
    TestSuite suite;
    std::unique_ptr<Facturacion> w;

    Facturacion& Open(const QString& login = "admin", const QString& password = "admin",
                      qint32 startPet = 0) {
        suite.SignIn(login, password);
        Gi.nParam3 = startPet;
        w = std::make_unique<Facturacion>();
        w->resize(1200, 700);
        w->show();
        w->Form_Activate();
        QApplication::processEvents();
        return *w;
    }

    void ChoosePet(qint32 pet) { w->dm->DefineFrom_nIdMascota(pet); }

    // What the grid's cell editor hands to the model when the user commits a cell.
    void Type(int row, const QString& column, const QString& text) {
        int col = 0;
        while (w->gdFacturacion->model()->headerData(col, Qt::Horizontal).toString() != column)
            ++col;
        w->gdFacturacion->model()->setData(w->gdFacturacion->model()->index(row - 1, col), text,
                                           Qt::EditRole);
    }
    void PressCtrlE() {
        QApplication::setActiveWindow(w.get());
        w->gdFacturacion->setFocus();
        QTest::keyClick(w->gdFacturacion, Qt::Key_E, Qt::ControlModifier);
    }
    int NewLine() const { return w->gd->RecordCount() + 1; }

    QVariant Item(const QString& column, qint32 key) {
        return DataAccess::instance().GetValue("FacturasItems",
                                               "nIdFacturaItem=" + QString::number(key), column);
    }
    static QString Table(const QString& sql) {
        return RowText(DataAccess::instance().GetRows(sql));
    }
    // A grid line's cells under those heads, '|' between them.
    QString Cells(int row, const QStringList& heads) const {
        QStringList cells;
        for (const QString& head : heads)
            cells << w->gd->CellText(row, head);
        return cells.join('|');
    }
    int Count(const QString& table, const QString& where = QString()) {
        return DataAccess::instance()
            .GetRows("SELECT COUNT(*) FROM " + table + (where.isEmpty() ? "" : " WHERE " + where))
            .Value(0, 0)
            .toInt();
    }
    int RowOf(const QString& product) {
        for (int row = 1; row <= w->gd->RecordCount(); ++row)
            if (w->gd->CellText(row, "Producto Servicio") == product)
                return row;
        return 0;
    }
};
