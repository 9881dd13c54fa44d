// tvFacturae --ini <Tavelo.ini> --factura N --out <file.xml> [--force]
// tvFacturae --ini <Tavelo.ini> --factura N --firmar <cert.p12>
//            [--clave-archivo <file> | --clave-stdin] --out <file.xsig> [--force]
//
// Writes issued document N (its internal id, nIdFactura) as a Facturae 3.2.2 e-invoice, signed
// with the certificate when --firmar is given (docs/facturae.md). The certificate's password is
// the first line of the file --clave-archivo names or of standard input (--clave-stdin), else
// the ini's ClaveCertificado; never a word of the command line, which every user of the computer
// can read in the list of processes. Status: 0 written, 1 an error (nothing written), 2 wrong
// arguments.
#include "app/Tool.h"
#include "facturae/FacturaeArchivo.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

int Usage(const QString& why) {
    Print(stderr, "tvFacturae: " + why +
                      "\nuso: tvFacturae --ini <Tavelo.ini> --factura N --out <archivo.xml> "
                      "[--force]\n"
                      "     tvFacturae --ini <Tavelo.ini> --factura N --firmar <certificado.p12> "
                      "[--clave-archivo <archivo> | --clave-stdin] --out <archivo.xsig> [--force]");
    return 2;
}

// The first line, without its line end, of what holds the password.
QString FirstLine(const QByteArray& text) {
    QByteArray line = text.left(text.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

QString PasswordFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound,
                      "No se puede leer el archivo de la contraseña " + path + ": " +
                          (file.exists() ? "no tiene permiso para leerlo." : "no existe."));
    return FirstLine(file.readLine());
}

QString PasswordFromStdin() {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede leer la entrada estándar.");
    return FirstLine(in.readLine());
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    TakeForce(args);
    const bool fromStdin = args.removeAll("--clave-stdin") > 0;
    if (args.contains("--clave"))
        return Usage("--clave no se admite: una contraseña escrita en la línea de órdenes la ve "
                     "cualquier usuario del equipo en la lista de procesos; póngala en un archivo "
                     "(--clave-archivo) o désela por la entrada estándar (--clave-stdin)");
    QString ini, factura, out, passwordFile;
    FacturaeArchivo::Certificado firma;
    if (const QString wrong = ReadOptions(args, {{"--ini", &ini},
                                                 {"--factura", &factura},
                                                 {"--out", &out},
                                                 {"--firmar", &firma.p12},
                                                 {"--clave-archivo", &passwordFile}});
        !wrong.isEmpty())
        return Usage(wrong);
    if (ini.isEmpty() || factura.isEmpty() || out.isEmpty())
        return Usage("faltan opciones");
    bool numeric = false;
    const qint32 id = factura.toInt(&numeric);
    if (!numeric || id <= 0)
        return Usage("la factura es su número interno (nIdFactura), un entero positivo");
    if ((fromStdin || !passwordFile.isEmpty()) && firma.p12.isEmpty())
        return Usage("la contraseña acompaña a --firmar");
    if (fromStdin && !passwordFile.isEmpty())
        return Usage("la contraseña viene de --clave-archivo o de --clave-stdin, no de ambos");
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (firma.p12.isEmpty() ? suffix != "xml" : suffix != "xsig")
        return Usage(firma.p12.isEmpty() ? "el archivo sin firmar es .xml"
                                         : "el archivo firmado es .xsig");
    try {
        if (!QFileInfo(ini).isFile())
            throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
        ArchivoSeguro::ComprobarDestino(out);
        if (fromStdin)
            firma.clave = PasswordFromStdin();
        else if (!passwordFile.isEmpty())
            firma.clave = PasswordFromFile(passwordFile);
        else if (!firma.p12.isEmpty())
            firma.clave = FacturaeArchivo::DelIni(ini).clave;
        SuiteSession::Open(ini, DbConfig::DataFolder(ini), DataAccess::instance(), true);
        FacturaeArchivo::Escribir(id, out, firma);
        Print(stdout, "factura electrónica escrita en " + out);
        return 0;
    } catch (const TvError& e) {
        Print(stderr, "tvFacturae: " + e.Description());
        return 1;
    }
}
