// The ui seam on the utility alone, without the data layer. Run, it checks that the utility's error
// reports reach the user through the seam in force, and that the end of the program leaves
// through the seam with its status.
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/Utility.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto* ui = new ScriptedUi;
    Ui::Install(std::unique_ptr<Ui>(ui));
    U().ShowError("Facturacion::Form_Load", "", "Clínica", 53, "No se encuentra el archivo");
    if (ui->Shown.size() != 1 || !ui->Shown.first().contains("Facturacion::Form_Load")) {
        std::fprintf(stderr, "the error report did not reach the seam\n");
        return 1;
    }
    try {
        EndProgram(4);
    } catch (const ProgramEnded& ended) {
        return ended.status == 4 ? 0 : 1;
    }
}
