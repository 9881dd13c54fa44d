#pragma once

#include <QList>
#include <QString>
#include <utility>

// Why a rectifying invoice is issued, as the tax agency codes it (R1 to R4), with an optional
// text of the user's. R4, "other causes", is what a credit note at the desk nearly always is (the
// goods came back, the service was cancelled), so it is the default.
struct MotivoRectificacion {
    QString sMotivo = QStringLiteral("R4");
    QString sTextoMotivo;

    // The codes with what each covers, in the order they are offered.
    static const QList<std::pair<QString, QString>>& Motivos();
    // Whether a rectification for this reason usually sends its lines back to the pending items:
    // an error (R1, a wrong price or customer) is invoiced again; goods returned or a service
    // not given (R4), and a debt that will not be paid (R2, R3), are not.
    static bool LineasPendientes(const QString& sMotivo);
    // The longest text kept; the agency's description of an operation holds 500 characters and
    // the reason shares it with the code's own words.
    static constexpr int MaxTexto = 250;
};
