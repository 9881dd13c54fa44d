#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The invoicing system that makes the register's records, as its producer declares it: what every
// record's SistemaInformatico says (export and sending) and the declaración responsable that
// "Acerca de tvFacturacion" shows. Fixed by the build (cmake/SistemaInformatico.cmake), never by a
// clinic's settings: the producer answers for what it declares.
struct SistemaInformatico {
    QString productorNombre;
    QString productorNif;
    QString productorDireccion;
    QString nombre;
    QString id;
    QString version;
    QString lugar;
    QString fecha;
    // The record's TipoUsoPosibleSoloVerifactu and TipoUsoPosibleMultiOT: whether the system can
    // only run sending every record, and whether one installation may invoice for several
    // taxpayers.
    bool soloVerifactu = false;
    bool variosObligados = false;

    // This build's.
    static const SistemaInformatico& DelBuild();

    // Why no record may be sent under this identity (the producer's NIF is not a valid one), in
    // Spanish; empty when records may be sent.
    QString MotivoNoEnvio() const;

    // The declaración responsable item by item (caption, text) in the order of the agency's model,
    // then the statement itself.
    struct Apartado {
        QString titulo;
        QString texto;
    };
    std::vector<Apartado> Apartados() const;
    QString Declaracion() const;
};
