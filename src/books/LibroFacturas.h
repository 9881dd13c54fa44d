#pragma once

#include "invoicing/core/Money.h"

#include <QDate>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

// The accountant's books of a period: the register of issued invoices (one line per document and
// rate, in the columns of the tax agency's layout for that book) and the VAT summary per rate
// that the quarterly return asks for. Every figure is the document's discounted breakdown
// (FacturasDesglose, or spread from its stored figures when it has none), so base + tax is the
// amount due.
struct LibroFacturas {
    struct Linea {
        qint32 nIdFactura = 0;
        int nEjercicio = 0;
        QString sPeriodo;       // "1T" .. "4T"
        QString sTipo;          // "F1", or a rectifying invoice's reason "R1" .. "R4"
        qint32 dExpedicion = 0; // yyyymmdd
        qint32 dOperacion = 0;
        QString sSerie, sNumero, sNif, sNombre;
        Money nBase;
        double nPorcIpto = 0;
        Money nCuota;
        Money nTotal;         // the document's amount due, on each of its lines
        QString sRectificada; // the number of the invoice a rectifying invoice rectifies
        bool Rectificativa() const { return sTipo != QLatin1String("F1"); }
    };
    // One line of the summary: the invoices of one rate, or the rectifications of one rate.
    struct Resumen {
        bool rectificacion = false;
        double nPorcIpto = 0;
        QString sCasillas; // the return's boxes, "07, 08, 09"; empty for a rate it has none for
        Money nBase, nCuota;
    };

    // One till closing (Z) of the period: its day, box and number, what the box should have held
    // and what was counted, in all and per payment type.
    struct Cierre {
        struct Metodo {
            QString sTipoCobro;
            Money nEsperado, nContado;
        };
        qint32 dHasta = 0; // the day the closing was made
        QString sCaja;
        qint32 nNumero = 0;
        Money nEsperado, nContado, nDiferencia;
        std::vector<Metodo> metodos;
    };

    qint32 desde = 0, hasta = 0;
    std::vector<Cierre> cierres;  // by day, then box and number
    std::vector<Linea> lineas;    // by issue date, then in the order they were issued
    std::vector<Resumen> resumen; // the usual rates first (always), then any other, then the
                                  // rectifications by rate
    Money BaseTotal() const;
    Money CuotaTotal() const;

    // The documents issued from desde to hasta (yyyymmdd, both included), of one branch or of
    // all (nIdSucursal 0), read in one pass a chunk of documents at a time.
    static LibroFacturas Leer(qint32 desde, qint32 hasta, qint32 nIdSucursal = 0);
    // The same pass handing the lines over in the book's order, a batch at a time, so that a
    // writer can start before the reading ends; answers the book with its summary and no lines.
    static LibroFacturas Recorrer(qint32 desde, qint32 hasta, qint32 nIdSucursal,
                                  const std::function<void(std::vector<Linea>&&)>& entrega);

    // "A0012/26" is series "A" and number "0012/26": the series is what comes before the first
    // digit, so a number without a prefix has an empty series.
    static std::pair<QString, QString> SerieNumero(const QString& sFactura);
    // The quarter a day falls in: "1T" .. "4T".
    static QString Periodo(qint32 dia);
    // The last quarter that ended before `today`: its first and last day (yyyymmdd).
    static std::pair<qint32, qint32> UltimoTrimestre(const QDate& today);
};
