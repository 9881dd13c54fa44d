// tvFacturae --ini <Tavelo.ini> --factura N --out <file.xml>
//            [--firmar <cert.p12> --clave <password> --out <file.xsig>]
//
// Writes issued document N (its internal id, nIdFactura) as a Facturae 3.2.2 e-invoice, signed
// with the certificate when --firmar is given (docs/facturae.md). Status: 0 written, 1 an error
// (nothing written), 2 wrong arguments.
#include "app/Tool.h"
#include "facturae/FacturaeArchivo.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

int Usage(const QString& why) {
    Print(stderr, "tvFacturae: " + why +
                      "\nuso: tvFacturae --ini <Tavelo.ini> --factura N --out <archivo.xml>\n"
                      "     tvFacturae --ini <Tavelo.ini> --factura N --firmar <certificado.p12> "
                      "--clave <contraseña> --out <archivo.xsig>");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString ini, factura, out;
    FacturaeArchivo::Certificado firma;
    if (const QString wrong = ReadOptions(args, {{"--ini", &ini},
                                                 {"--factura", &factura},
                                                 {"--out", &out},
                                                 {"--firmar", &firma.p12},
                                                 {"--clave", &firma.clave}});
        !wrong.isEmpty())
        return Usage(wrong);
    bool clave = false;
    for (qsizetype k = 0; k < args.size(); k += 2)
        clave = clave || args[k] == "--clave";
    if (ini.isEmpty() || factura.isEmpty() || out.isEmpty())
        return Usage("faltan opciones");
    bool numeric = false;
    const qint32 id = factura.toInt(&numeric);
    if (!numeric || id <= 0)
        return Usage("la factura es su número interno (nIdFactura), un entero positivo");
    if (clave && firma.p12.isEmpty())
        return Usage("--clave acompaña a --firmar");
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (firma.p12.isEmpty() ? suffix != "xml" : suffix != "xsig")
        return Usage(firma.p12.isEmpty() ? "el archivo sin firmar es .xml"
                                         : "el archivo firmado es .xsig");
    try {
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), true);
        FacturaeArchivo::Escribir(id, out, firma);
        Print(stdout, "factura electrónica escrita en " + out);
        return 0;
    } catch (const TvError& e) {
        Print(stderr, "tvFacturae: " + e.Description());
        return 1;
    }
}
