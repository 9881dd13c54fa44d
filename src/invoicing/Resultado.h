#pragma once

#include "platform/util/TvError.h"

#include <QString>
#include <type_traits>
#include <utility>
#include <variant>

// Why the engine did not make the document asked for: the step that refused it and the message
// for the user. Nothing of the document was written.
template <typename Paso> struct Rechazo {
    Paso paso;
    QString mensaje;
};

// What the engine answers a request: the document it made, or its refusal. A failure (the
// database, a fault) is no answer: it leaves as the error it is.
template <typename Valor, typename Paso> class [[nodiscard]] Resultado {
public:
    Resultado(Valor valor) : m_respuesta(std::move(valor)) {}
    Resultado(Rechazo<Paso> rechazo) : m_respuesta(std::move(rechazo)) {}

    bool Hecho() const { return m_respuesta.index() == 0; }
    // Only when refused.
    const Rechazo<Paso>& Rechazado() const { return std::get<1>(m_respuesta); }
    // The document. A caller whose requests are never refused (a generator writing a history)
    // reads it straight: a refusal is then a fault, raised with its message.
    const Valor& operator*() const {
        if (!Hecho())
            throw TvError(ErrorNumber::InvalidCall, Rechazado().mensaje);
        return std::get<0>(m_respuesta);
    }
    const Valor* operator->() const { return &**this; }

private:
    std::variant<Valor, Rechazo<Paso>> m_respuesta;
};

// How a refusal leaves the steps it stops inside the engine, so that their transaction rolls
// back on the way out; the entry point answers it (Responder) and it never leaves the engine. A
// TvError, so that the steps' own traps let it through as they let the engine's errors.
template <typename Paso> class Rehusado : public TvError {
public:
    Rehusado(Paso paso, const QString& mensaje) : TvError(0, mensaje), m_paso(paso) {}

    Rechazo<Paso> Respuesta() const { return {m_paso, Description()}; }

private:
    Paso m_paso;
};

// Runs the engine's body and answers what it made, or the refusal it raised.
template <typename Paso, typename Body>
Resultado<std::invoke_result_t<Body>, Paso> Responder(Body&& body) {
    try {
        return body();
    } catch (const Rehusado<Paso>& r) {
        return r.Respuesta();
    }
}
