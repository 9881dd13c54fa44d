#pragma once

#include <QString>
#include <QtGlobal>

class NumerosSinRespuesta;
class TvError;

// After the server's connection fell while a document was being issued. The transaction went
// with the connection, unless its commit had reached the server and only the answer was lost: the
// document numbered sNumero is then there. Answers its id; or 0 after telling the desk that it
// was not saved and to press sBoton again, or that the server does not answer yet. Either way the
// desk goes on: the next statement reconnects (to the standby, once it is promoted).
qint32 EmitidoTrasPerderConexion(const QString& sDocumento, const QString& sNumero,
                                 const QString& sBoton);

// After the server's connection fell while the desk drew its document's number: tells the desk
// whether the number is used up, asking the server once reconnected, and to press sBoton again.
// Nothing was issued.
void ReservadoTrasPerderConexion(const NumerosSinRespuesta& e, const QString& sBoton);

// Whether e is the fall of the server's connection, then told to the desk followed by sConsejo
// (what to do now); anything else is the caller's to report.
bool AvisoDeConexionPerdida(const TvError& e, const QString& sConsejo);
