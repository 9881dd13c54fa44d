// The grid controller on a table of its own: it must not know anything about invoices.
#include "RowText.h"
#include "support/TestEngine.h"
#include "support/TestSuite.h"

#include "platform/data/DataAccess.h"
#include "platform/report/PageModel.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/GridController.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const char* const kSql =
    "SELECT Lineas.nIdLinea AS [Id], Lineas.dAlta AS [Alta], Articulos.sArticulo AS [Artículo], "
    "Lineas.nImporte AS [Importe], Lineas.nPorc AS [Porc], Lineas.nCantidad AS [Cant], "
    "Lineas.sNota AS [Nota] FROM Lineas LEFT JOIN Articulos ON "
    "Articulos.nIdArticulo=Lineas.nIdArticulo WHERE Lineas.nIdGrupo=7 ORDER BY Lineas.nIdLinea";

class GridTest : public ::testing::Test {
protected:
    TestSuite suite{false};
    QTableView view;
    GridController gd;
    QStringList events;
    // What the window's handlers do; tests replace them.
    std::function<bool()> onInsert = [] { return false; };
    std::function<bool()> onEdit = [] { return false; };
    std::function<bool()> onDelete = [] { return false; };

    void SetUp() override {
        DataAccess::instance().ExecuteScript(
            QString("CREATE TABLE Articulos (nIdArticulo %1, sArticulo TEXT);\n"
                    "CREATE TABLE Lineas (nIdLinea %1, nIdArticulo INTEGER DEFAULT 0,"
                    " sNota TEXT DEFAULT '', nImporte DOUBLE PRECISION DEFAULT 0, nPorc DOUBLE "
                    "PRECISION"
                    " DEFAULT 0, nCantidad DOUBLE PRECISION DEFAULT 0, dAlta INTEGER DEFAULT 0,"
                    " nIdGrupo INTEGER DEFAULT 0);\n"
                    "INSERT INTO Articulos (sArticulo) VALUES ('Collar');\n"
                    "INSERT INTO Articulos (sArticulo) VALUES ('Correa de O''Brien');\n"
                    "INSERT INTO Lineas (nIdArticulo, sNota, nImporte, nPorc, nCantidad, dAlta, "
                    "nIdGrupo) VALUES (1, 'cerrada', 12.5, 21, 1.5, 20260305, 7), "
                    "(2, '', 3, 10, 2, 0, 7), (1, 'otro grupo', 1, 0, 1, 0, 8);\n")
                .arg(TestEngine::KeyType()));
        gd.Attach(&view);
        gd.ComboColumns("3");
        gd.ColumnTypes({GridColumn::Number, GridColumn::Date, GridColumn::Text, GridColumn::Money,
                        GridColumn::Percentage, GridColumn::Number});
        gd.ColumnWidths("4,10,30,10,7,5,0");
        gd.LockingColumns("2");
        QObject::connect(&gd, &GridController::evtBuildSQL,
                         [](QString& sql, QString&) { sql = kSql; });
        QObject::connect(&gd, &GridController::evtComboDropDown, [this](qint32) {
            gd.FillComboColumn("SELECT nIdArticulo,sArticulo FROM Articulos ORDER BY sArticulo",
                               "sArticulo", "nIdArticulo");
        });
        QObject::connect(&gd, &GridController::evtLeaveCell, [this](qint32 row, qint32 col) {
            events << QString("leave %1 %2").arg(row).arg(col);
        });
        QObject::connect(&gd, &GridController::evtComboClickMouse,
                         [this](qint32 col) { events << QString("list %1").arg(col); });
        QObject::connect(&gd, &GridController::evtRecInsert, [this](qint32 row, bool& ok) {
            events << QString("insert %1").arg(row);
            ok = onInsert();
        });
        QObject::connect(&gd, &GridController::evtRecEdit, [this](qint32 row, qint32, bool& ok) {
            events << QString("edit %1").arg(row);
            ok = onEdit();
        });
        QObject::connect(&gd, &GridController::evtRecDelete, [this](qint32 row, bool& ok) {
            events << QString("delete %1").arg(row);
            ok = onDelete();
        });
        gd.Refresh();
    }

    // What a user's typing in a cell ends in: the editor commits into the model.
    void Type(int row, int col, const QString& text) {
        view.model()->setData(view.model()->index(row - 1, col - 1), text, Qt::EditRole);
    }

    static QString Stored(const QString& columns, const QString& where) {
        return RowText(
            DataAccess::instance().GetRows("SELECT " + columns + " FROM Lineas WHERE " + where));
    }
    // Every cell of a grid line, '|' between them.
    QString Line(int row) const {
        QStringList cells;
        for (int col = 1; col <= 7; ++col)
            cells << gd.CellText(row, col);
        return cells.join('|');
    }
};

TEST_F(GridTest, ShowsEachColumnInItsFormatAndTotalsTheStoredRows) {
    EXPECT_EQ(gd.RecordCount(), 2);
    EXPECT_EQ(Line(1), "1|05/03/2026|Collar|12,50|21,00|1,5|cerrada");
    EXPECT_EQ(Line(2), "2||Correa de O'Brien|3,00|10,00|2|");
    EXPECT_EQ(gd.CellText(1, "porc"), "21,00") << "heads are found whatever their case";
    EXPECT_TRUE(view.isColumnHidden(6));
    EXPECT_FALSE(view.isColumnHidden(3));
    EXPECT_EQ(view.model()->index(0, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              Qt::AlignRight);

    EXPECT_DOUBLE_EQ(gd.ColumnTotal("Importe", 2), 15.5);
    EXPECT_DOUBLE_EQ(gd.ColumnTotal("Importe", 1), 2);

    // The new line is there only while editable, and never counts as a record.
    EXPECT_EQ(view.model()->rowCount(), 2);
    gd.SetEditable(true);
    ASSERT_EQ(view.model()->rowCount(), 3);
    EXPECT_TRUE(gd.IsNewLine(3));
    EXPECT_DOUBLE_EQ(gd.ColumnTotal("Importe", 2), 15.5);

    QList<qint32> info;
    QObject::connect(&gd, &GridController::evtRecInfo,
                     [&](qint32 rec, qint32 recs, qint32 page, qint32 pages) {
                         info = {rec, recs, page, pages};
                     });
    gd.NavigatorClick(3);
    EXPECT_EQ(info, (QList<qint32>{2, 2, 1, 1}));
    gd.NavigatorClick(0);
    EXPECT_EQ(gd.CurrentRow(), 1);
    gd.NavigatorClick(1);
    EXPECT_EQ(gd.CurrentRow(), 1);
}

TEST_F(GridTest, AnEditRaisesLeaveCellThenSavesMappingAliasesBackToTheTable) {
    gd.SetEditable(true);
    onEdit = [this] {
        gd.SaveRow("Lineas", "nIdLinea=" + QString::number(gd.RecordKey(0)), "", "", "Alta");
        return true;
    };
    // Typed in another case: the list's entry is used, with its id.
    Type(2, 3, "collar");
    Type(2, 4, "4,5");
    EXPECT_EQ(events, (QStringList{"leave 2 3", "edit 2", "leave 2 4", "edit 2"}));
    EXPECT_EQ(gd.CellText(2, 3), "Collar");
    EXPECT_EQ(Stored("nIdArticulo,nImporte,nIdGrupo", "nIdLinea=2"), "1|4.5|7");

    // A handler that saves the row itself takes the place of the controller's edit event.
    events.clear();
    QObject::disconnect(&gd, &GridController::evtLeaveCell, nullptr, nullptr);
    QObject::connect(&gd, &GridController::evtLeaveCell, [this](qint32, qint32) {
        gd.SetCellText(-1, "Nota", "O'Brien's \"note\"");
        gd.SaveRow("Lineas", "nIdLinea=" + QString::number(gd.RecordKey(0)), "", "", "Alta");
    });
    Type(2, 6, "3");
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(Stored("sNota,nCantidad", "nIdLinea=2"), "O'Brien's \"note\"|3");
}

TEST_F(GridTest, ClosedRowsAndBadNumbersAreNotEdited) {
    gd.SetEditable(true);
    const auto flags = [this](int row, int col) {
        return view.model()->flags(view.model()->index(row - 1, col - 1)) & Qt::ItemIsEditable;
    };
    EXPECT_FALSE(flags(1, 4)); // the row has a date in the locking column
    EXPECT_FALSE(flags(2, 1)); // the key
    EXPECT_FALSE(flags(2, 2)); // the locking column itself
    EXPECT_TRUE(flags(2, 4));

    // Each column reads its kind of number; a refused text changes nothing and raises nothing.
    const struct {
        int col;
        const char* text;
    } typed[] = {{4, "doce"}, {4, "1e308"}, {4, "-3"}, {5, "101"}, {6, "0"}, {6, ""}};
    for (const auto& t : typed)
        Type(2, t.col, t.text);
    Type(3, 6, ""); // passing through the new line's empty cell is no edit
    EXPECT_EQ(Line(2), "2||Correa de O'Brien|3,00|10,00|2|");
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(suite.Ui().Shown.join('\n').toStdString(),
              "[Aviso] El dato \"Importe\" no es un número: \"doce\". Escriba solo cifras y la "
              "coma decimal (por ejemplo 1.234,56).\n"
              "[Aviso] El dato \"Importe\" no es un número: \"1e308\". Escriba solo cifras y la "
              "coma decimal (por ejemplo 1.234,56).\n"
              "[Aviso] El dato \"Importe\" no puede ser negativo.\n"
              "[Aviso] El dato \"Porc\" no puede pasar de 100.\n"
              "[Aviso] El dato \"Cant\" debe ser mayor que cero.\n"
              "[Aviso] El dato \"Cant\" debe ser mayor que cero.");
}

TEST_F(GridTest, TheNewLineBecomesARecordOnlyWhenItsInsertSucceeds) {
    gd.SetEditable(true);
    Type(3, 4, "7");
    EXPECT_EQ(events, (QStringList{"leave 3 4", "insert 3"}));
    // Refused: the typed line stays, still the new line, nothing stored.
    EXPECT_TRUE(gd.IsNewLine(3));
    EXPECT_EQ(gd.CellText(3, 4), "7,00");
    EXPECT_EQ(gd.RecordCount(), 2);

    onInsert = [this] {
        gd.SetRecordKey(0, gd.SaveRow("Lineas", "", "nIdGrupo", "7", "Alta"));
        return true;
    };
    Type(3, 3, "Correa de O'Brien");
    EXPECT_FALSE(gd.IsNewLine(3));
    EXPECT_TRUE(gd.IsNewLine(4));
    EXPECT_EQ(gd.RecordCount(), 3);
    const QString where = "nIdLinea=" + gd.CellText(3, "Id");
    EXPECT_EQ(Stored("nImporte,nIdArticulo,nIdGrupo", where), "7|2|7");

    // An entry added to the list's table after the list was read is still found when saving.
    DataAccess::instance().InsertRecord("Articulos", "sArticulo", "'Arnés'");
    gd.SetCurrentCell(3, 3);
    gd.SetCellText(-1, "Artículo", "Arnés");
    gd.SaveRow("Lineas", where, "", "", "Alta");
    EXPECT_EQ(Stored("nIdArticulo", where), "3");
}

TEST_F(GridTest, DeleteAsksFirstAndRemovesOnlyWhatTheWindowDeleted) {
    gd.SetEditable(true);
    view.show();
    gd.SetCurrentCell(2, 4);
    ScriptedUi& ui = suite.Ui();

    ui.Confirmations = {false};
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_TRUE(events.isEmpty());

    ui.Confirmations = {true};
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(events, QStringList{"delete 2"});
    EXPECT_EQ(gd.RecordCount(), 2);

    onDelete = [] {
        DataAccess::instance().DeleteRecords("Lineas", "nIdLinea=2");
        return true;
    };
    ui.Confirmations = {true};
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(gd.RecordCount(), 1);
    EXPECT_EQ(gd.CellText(1, "Id"), "1");
}

TEST_F(GridTest, TypingInTheListColumnAndPickingFromThePopupCommitsAndMovesOn) {
    gd.SetEditable(true);
    gd.SetEnterMovesNext(true);
    view.resize(800, 300);
    view.show();
    onEdit = [this] {
        gd.SaveRow("Lineas", "nIdLinea=" + QString::number(gd.RecordKey(0)), "", "", "Alta");
        return true;
    };
    gd.SetCurrentCell(2, 3);
    // The focus is followed on the active window only, and a popup takes that role for a while.
    auto focused = [this] {
        QApplication::setActiveWindow(&view);
        return QApplication::focusWidget();
    };
    view.setFocus();
    QTest::keyClick(focused(), Qt::Key_C); // a letter opens the editor with it
    QWidget* editor = focused();
    ASSERT_NE(editor, &view);
    QTest::keyClicks(editor, "oll");
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    // Keys that close an editor go through the window, as a user's do: the popup or editor that
    // takes the press is deleted once events run, before the release would reach it.
    QTest::keyClick(view.windowHandle(), Qt::Key_Down);
    QTest::keyClick(view.windowHandle(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(gd.CellText(2, 3), "Collar");
    EXPECT_EQ(Stored("nIdArticulo", "nIdLinea=2"), "1");
    EXPECT_EQ(gd.CurrentCol(), 4); // on to the next cell, already editing

    // A mistake brings the cursor back to the cell, its text as typed.
    editor = focused();
    QTest::keyClicks(editor, "1e308");
    QTest::keyClick(view.windowHandle(), Qt::Key_Return);
    QApplication::processEvents();
    editor = focused();
    ASSERT_NE(qobject_cast<QLineEdit*>(editor), nullptr);
    EXPECT_EQ(gd.CurrentCol(), 4);
    EXPECT_EQ(qobject_cast<QLineEdit*>(editor)->text(), "1e308");
    QTest::keyClicks(editor, "8");
    QTest::keyClick(view.windowHandle(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Stored("nImporte", "nIdLinea=2"), "8");

    // Part of one name and Enter takes that name, popup open or not.
    for (const bool popupOpen : {true, false}) {
        gd.SetCurrentCell(2, 3);
        view.setFocus();
        QTest::keyClick(focused(), Qt::Key_O);
        editor = focused();
        QTest::keyClicks(editor, "rr");
        if (!popupOpen && QApplication::activePopupWidget())
            QApplication::activePopupWidget()->hide();
        QTest::keyClick(view.windowHandle(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(Stored("nIdArticulo", "nIdLinea=2"), "2") << popupOpen;
        onEdit = [this] {
            gd.SaveRow("Lineas", "nIdLinea=" + QString::number(gd.RecordKey(0)), "", "", "Alta");
            return true;
        };
        Type(2, 3, "Collar");
    }
}

TEST_F(GridTest, PrintedPagesRepeatTheHeadsAndLeaveHiddenColumnsOut) {
    DataAccess& db = DataAccess::instance();
    db.Transaction(TransactionStep::Begin);
    for (int i = 0; i < 150; ++i)
        db.InsertRecord("Lineas", "nIdArticulo,nImporte,nIdGrupo", "1,2.5,7");
    db.Transaction(TransactionStep::Commit);
    gd.SetEditable(true);
    gd.Refresh();

    const PageModel pages = gd.PrintPages("Arial", "Lista", "Sucursal (1)", QSize(11906, 16838));
    ASSERT_GE(pages.PageCount(), 2);
    const QString last = QString("Página %1 de %1").arg(pages.PageCount());
    EXPECT_NE(pages.FindItem(last), nullptr);
    EXPECT_EQ(pages.FindText("Importe", true).size(), pages.PageCount());
    EXPECT_EQ(pages.FindText("Lista", true).size(), pages.PageCount());
    EXPECT_TRUE(pages.FindText("cerrada").isEmpty());    // the hidden column
    EXPECT_EQ(pages.FindText("2,50", true).size(), 150); // every stored row once, no new line
    EXPECT_EQ(pages.FindItem("Lista")->font.family, "Arial");
}

} // namespace
