// Speed of closing the till (arguments as GeneratedClinic's; 1 thousand clients by default): a
// box with 20,000 open entries over the four payment types, then its X report's figures and
// layout and its closing. Prints x_state_ms (the figures), x_report_ms (figures and layout) and
// z_close_ms (the closing's transaction), medians of several runs where the run leaves nothing.
#include "BenchFigures.h"

#include "caja/CierreCaja.h"
#include "platform/report/ReportComponent.h"
#include "reports/InformeCaja.h"
#include "reports/InvoiceExport.h"
#include "reports/ReportBinding.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::vector<char*> args(argv, argv + argc);
    // Without a size the clinic has one thousand clients, with or without --server (whose value
    // is not a size).
    const auto server = std::find_if(args.begin() + 1, args.end(),
                                     [](const char* a) { return qstrcmp(a, "--server") == 0; });
    const std::ptrdiff_t named =
        server == args.end() ? 0 : std::min<std::ptrdiff_t>(2, args.end() - server);
    char one[] = "1";
    if (argc - 1 - named == 0)
        args.push_back(one);
    QTemporaryDir dir;
    const QString ini = GeneratedClinic(int(args.size()), args.data(), dir) + "/Data/Tavelo.ini";
    Db().Open(DbConfig::FromIni(ini, DbConfig::DataFolder(ini)));
    InvoiceExport::LoadSession(ini);
    constexpr qint32 Caja = 3;
    InOneTransaction([&] {
        for (int block = 0; block < 20; ++block) {
            QStringList rows;
            for (int k = 0; k < 1000; ++k)
                rows << QString("(%1,20270302,1,%2,%3,%4)")
                            .arg(Caja)
                            .arg(k % 7 == 0 ? 2 : 1)
                            .arg(k % 7 == 0 ? -5.25 : 12.35)
                            .arg(k % 4 + 1);
            Db().Execute("INSERT INTO ApuntesCaja (nIdCaja,dApunte,nIdUsuario,nIdTipoMovimiento,"
                         "nImporte,nIdTipoCobro) VALUES " +
                         rows.join(','));
        }
    });
    std::vector<double> state, report;
    for (int run = 0; run < 7; ++run) {
        state.push_back(Ms([&] { CierreCaja::EstadoCaja(Caja); }));
        report.push_back(Ms([&] {
            ReportJob job = InformeCaja::InformeX(CierreCaja::EstadoCaja(Caja), 1,
                                                  QDateTime::currentDateTime(), false);
            ReportComponent vsr;
            if (!ReportBinding(vsr).Bind(job))
                BenchFail("Caja.xml no se ha podido preparar");
            vsr.Layout();
        }));
    }
    Report("x_state_ms", Median(state), "ms");
    Report("x_report_ms", Median(report), "ms");
    const CierreCaja::Estado e = CierreCaja::EstadoCaja(Caja);
    CierreCaja::Recuento r;
    for (const CierreCaja::Metodo& m : e.metodos)
        r.contado.append({m.sTipoCobro, m.esperado < Money() ? Money() : m.esperado});
    r.sNota = "bench";
    Report("z_close_ms", Ms([&] { CierreCaja::Cerrar(Caja, 1, r, QDateTime::currentDateTime()); }),
           "ms");
    Report("z_entries", e.apuntes, "entries");
    return 0;
}
