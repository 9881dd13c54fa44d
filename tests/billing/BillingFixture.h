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

    // The model index of a grid cell, by line (from 1) and head.
    QModelIndex Cell(int row, const QString& column) const {
        int col = 0;
        while (w->gdFacturacion->model()->headerData(col, Qt::Horizontal).toString() != column)
            ++col;
        return w->gdFacturacion->model()->index(row - 1, col);
    }
    // What the grid's cell editor hands to the model when the user commits a cell.
    void Type(int row, const QString& column, const QString& text) {
        w->gdFacturacion->model()->setData(Cell(row, column), text, Qt::EditRole);
    }
    // Opens the cell's editor and types into it, leaving it open.
    QWidget* StartEditing(int row, const QString& column, const QString& text) {
        QApplication::setActiveWindow(w.get());
        w->gdFacturacion->setCurrentIndex(Cell(row, column));
        w->gdFacturacion->edit(Cell(row, column));
        QWidget* editor = QApplication::focusWidget();
        EXPECT_NE(editor, w->gdFacturacion);
        QTest::keyClicks(editor, text);
        return editor;
    }
    void PressCtrlE() {
        QApplication::setActiveWindow(w.get());
        w->gdFacturacion->setFocus();
        QTest::keyClick(w->gdFacturacion, Qt::Key_E, Qt::ControlModifier);
    }
    int NewLine() const { return w->gd->RecordCount() + 1; }

    double StoredUnits(int row) {
        return DataAccess::instance()
            .GetValue("FacturasItems", "nIdFacturaItem=" + w->gd->CellText(row, "Id"), "nUnidades")
            .toDouble();
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
