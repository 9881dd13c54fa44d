#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

// The register of issued invoices and credit notes: one record per document, each carrying the
// SHA-256 fingerprint of its key data chained to the previous record of the same issuer, so that
// changing, inserting or removing a record afterwards shows. The texts of a record are stored
// exactly as they went into the fingerprint, so anyone can recompute it from the row alone.
class Rows;

namespace RegistroFacturacion {

// One row of RegistrosFacturacion.
struct Registro {
    qint32 nIdRegistro = 0;
    qint32 nIdFactura = 0;
    QString sIdEmisor;
    QString sNumSerie;
    QString sFechaExpedicion; // dd-mm-yyyy
    QString sTipoFactura;     // F1 or F2 an invoice; R1 to R4 a credit note by its reason, R5
                              // one of an F2
    QString sFacturaRectificada;
    QString sCuotaTotal;   // the total tax after the discount, "-217.80"
    QString sImporteTotal; // the total less the discount
    QString sHuellaAnterior;
    QString sFechaHoraHuso; // 2026-12-05T10:15:30+01:00
    QString sHuella;
    // Alta: the document was issued; Anulacion: it was cancelled, and the record names it by its
    // number and date only (type and amounts empty).
    QString sTipoRegistro = Alta;

    static inline const QString Alta = QStringLiteral("Alta");
    static inline const QString Anulacion = QStringLiteral("Anulacion");
    bool EsAnulacion() const { return sTipoRegistro == Anulacion; }
};

// The text that is fingerprinted and its SHA-256, upper-case hexadecimal. A cancellation record
// fingerprints the cancelled document's issuer, number and date with the chain's link and time.
QString TextoHuella(const Registro& r);
QString Huella(const Registro& r);

// "2026-12-05T10:15:30+01:00": the moment with its own offset from UTC (never "Z").
QString FechaHoraHuso(const QDateTime& moment);

// Writes the record of invoice or credit note nIdFactura, chained to the newest record of its
// issuer; runs inside the caller's transaction, as its last statement before the commit, and
// holds the issuer's chain until that transaction ends. Answers the record.
Registro Registrar(qint32 nIdFactura, const QDateTime& moment = QDateTime::currentDateTime());

// The records documents `facturas` would get at `moment`, not chained, fingerprinted nor written,
// in their order and read in one statement: what the agency's validations read before they are
// issued. Raises when one of them does not exist.
std::vector<Registro> Provisionales(const QList<qint32>& facturas, const QDateTime& moment);
// The read Provisionales makes, for DataAccess::ReadAhead.
QString ProvisionalesRead(const QList<qint32>& facturas);

// Writes the cancellation record of document nIdFactura, chained as Registrar chains, inside the
// caller's transaction. Raises when the document does not exist.
Registro RegistrarAnulacion(qint32 nIdFactura,
                            const QDateTime& moment = QDateTime::currentDateTime());

// Registrar for several invoices issued together, chained in the order given: their rows read in
// one query and their records written in one statement. Raises when one of them does not exist.
void Registrar(const QList<qint32>& facturas,
               const QDateTime& moment = QDateTime::currentDateTime());
// The same for the records Provisionales answered (and the agency's validations read), chained
// and written as they are: the documents are not read again between the check and the record.
void Registrar(std::vector<Registro> provisionales);

// Records, in id order, every invoice and credit note that has none (a history written before
// the register existed), in one transaction. Answers how many were written.
int RegistrarPendientes(const QDateTime& moment = QDateTime::currentDateTime());

// Checks every record in order: its fingerprint, its link to the previous record of its issuer,
// and its number, date, tax and amount against the invoice it names; and that no invoice since
// the first record lacks one. Answers "register: N records, chain intact", or the first fault
// ("record 37 (0037/26): amount 121.00 in the register, 12.10 in Facturas") in failure.
struct Verificacion {
    bool intact = true;
    int records = 0;
    QString message;
};
Verificacion Verificar();

// Writes every record to file: XML for a name ending in .xml, CSV (";" separated, UTF-8)
// otherwise. Raises on a file that cannot be written.
void Exportar(const QString& file);

// The tax agency's address that checks an invoice: printed as the QR code of the document. A
// register that sends its records (VERI*FACTU) has the agency check them at another address.
QString UrlQr(const QString& sIdEmisor, const QString& sNumSerie, const QString& sFecha,
              const QString& sImporte, bool verifactu = false);

// The records after nIdRegistro `after`, at most `limit`, in order.
std::vector<Registro> Leer(qint32 after, int limit);

// For a query that joins the register to tables of its own: the record's columns, nIdRegistro
// first, qualified with `alias` (AnchoColumnas of them); and the record read back from row `row`
// of its answer.
QString Columnas(const QString& alias);
constexpr int AnchoColumnas = 13;
Registro DeFila(const Rows& rows, int row);

// The record of the same issuer just before r, when r is not its first.
std::optional<Registro> Anterior(const Registro& r);

// The record that issued invoice nIdFactura (not its cancellation), when it has one.
std::optional<Registro> DeFactura(qint32 nIdFactura);

} // namespace RegistroFacturacion
