#!/usr/bin/env python3
"""A stand-in of the tax agency's submission service, for the sender's tests.

Serves HTTPS on 127.0.0.1 (the port is printed as "PORT n" once it listens) and requires a client
certificate of the authority given. Every request is validated against the agency's schema with
xmllint and logged as one JSON line: the numbers sent, which of them came as corrections, and
whether the message was valid. The answer follows the JSON file --guion, read again for every
request so that a test can change it between submissions:

  {"answer": "ok" | "errors" | "http500" | "silent" | "trickle" | "no_state" | "odd_state"
             | "others", "wait": 0, "reject": ["A0002/26"], "held": ["A0003/26"]}

Each record is also held to the agency's published validations beyond the schema (RULES below:
written here on their own, from the agency's list, not from the module's table), answered with
the agency's code as "Incorrecto" or, for the admissible ones, "AceptadoConErrores".

Like the agency, it keeps what it registered: a record sent again (not as a correction) is
answered 3000, and so is one listed in "held" (another installation's under the same number).
"ok" accepts every other record (but those listed in "reject", unless sent as a correction),
"errors" accepts them with errors, "http500" answers a SOAP fault with status 500, "silent"
registers them and never answers, "trickle" sends its answer a byte a second. Answers the sender
must not believe: "no_state" leaves out every EstadoRegistro, "odd_state" gives a state the
agency does not define, "others" names records that were not sent. A request's submission (RemisionRequerimiento) is
logged with its reference and whether it ends the request, and every message with how many of its
records came signed.
"""
import argparse
import datetime
import decimal
import http.server
import json
import os
import ssl
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

WS = "https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/aplicaciones/es/aeat/tike/cont/ws/"
LR = WS + "SuministroLR.xsd"
SF = WS + "SuministroInformacion.xsd"
R = WS + "RespuestaSuministro.xsd"
SOAP = "http://schemas.xmlsoap.org/soap/envelope/"


def validate(schema_dir, element, schema="SuministroLR.xsd"):
    with tempfile.NamedTemporaryFile("wb", suffix=".xml", delete=False) as f:
        f.write(element if isinstance(element, bytes) else ET.tostring(element, encoding="utf-8"))
        name = f.name
    try:
        env = dict(os.environ, XML_CATALOG_FILES=os.path.join(schema_dir, "catalog.xml"))
        run = subprocess.run(["xmllint", "--nonet", "--noout", "--schema",
                              os.path.join(schema_dir, schema), name],
                             env=env, capture_output=True, text=True)
        return run.returncode == 0, run.stderr
    finally:
        os.unlink(name)


REGISTERED = set()


def field(element, path):
    """The stripped text at path (names of the agency's namespace, "/" between); "" if absent."""
    return (element.findtext("/".join(f"{{{SF}}}{n}" for n in path.split("/"))) or "").strip()


def money(value):
    return decimal.Decimal(value or "0")


def record(alta, cabecera):
    """What the rules read of a RegistroAlta and its submission's header."""
    detalles = alta.findall(f"{{{SF}}}Desglose/{{{SF}}}DetalleDesglose")
    names = lambda block, item: [field(x, "NumSerieFactura") for x in alta.findall(
        f"{{{SF}}}{block}/{{{SF}}}{item}")]
    return {
        "tipo": field(alta, "TipoFactura"), "numero": field(alta, "IDFactura/NumSerieFactura"),
        "fecha": field(alta, "IDFactura/FechaExpedicionFactura"),
        "emisor": alta.findtext(f"{{{SF}}}NombreRazonEmisor") or "",
        "descripcion": alta.findtext(f"{{{SF}}}DescripcionOperacion") or "",
        "destinatarios": [d.findtext(f"{{{SF}}}NombreRazon") or "" for d in alta.findall(
            f"{{{SF}}}Destinatarios/{{{SF}}}IDDestinatario")],
        "rectificativa": field(alta, "TipoRectificativa"),
        "rectificadas": names("FacturasRectificadas", "IDFacturaRectificada"),
        "sustituidas": names("FacturasSustituidas", "IDFacturaSustituida"),
        "importe_rectificacion": alta.find(f"{{{SF}}}ImporteRectificacion") is not None,
        "cuotas": sum(money(field(d, "CuotaRepercutida")) + money(field(d, "CuotaRecargoEquivalencia"))
                      for d in detalles),
        "bases": sum(money(field(d, "BaseImponibleOimporteNoSujeto")) for d in detalles),
        "cuota_total": money(field(alta, "CuotaTotal")),
        "importe_total": money(field(alta, "ImporteTotal")),
        "generado": datetime.datetime.fromisoformat(field(alta, "FechaHoraHusoGenRegistro")),
        "subsanacion": field(alta, "Subsanacion"), "rechazo_previo": field(alta, "RechazoPrevio"),
        "incidencia": field(cabecera, "RemisionVoluntaria/Incidencia") == "S",
    }


def bad_text(value):
    return not value.strip() or any(ord(c) < 32 for c in value)


def today():
    return datetime.datetime.now().astimezone()


# (code, state, text, broken(record)), in the order the agency reports them: rejections first.
# 1901 and 1902 are not in the agency's list (it names no code for a rectification or an F3
# that identifies nothing); the module and this stand-in use them alike.
RULES = [
    (1104, "Incorrecto", "El valor del campo NumSerieFactura es incorrecto.",
     lambda r: not 1 <= len(r["numero"]) <= 60),
    (1130, "Incorrecto", "El campo NumSerieFactura contiene caracteres no permitidos.",
     lambda r: any(not 32 <= ord(c) <= 126 for c in r["numero"])),
    (1287, "Incorrecto", "El valor del campo NumSerieFactura contiene carácteres no validos.",
     lambda r: any(c in r["numero"] for c in "<>\"'=")),
    (1100, "Incorrecto", "Valor o tipo incorrecto del campo: NombreRazonEmisor",
     lambda r: bad_text(r["emisor"])),
    (1100, "Incorrecto", "Valor o tipo incorrecto del campo: DescripcionOperacion",
     lambda r: bad_text(r["descripcion"])),
    (1100, "Incorrecto", "Valor o tipo incorrecto del campo: NombreRazon",
     lambda r: any(bad_text(n) for n in r["destinatarios"])),
    (1189, "Incorrecto", "Si TipoFactura es F1 o F3 o R1 o R2 o R3 o R4 el bloque Destinatarios "
     "tiene que estar cumplimentado.",
     lambda r: r["tipo"] in ("F1", "F3", "R1", "R2", "R3", "R4") and not r["destinatarios"]),
    (1190, "Incorrecto", "Si TipoFactura es F2 o R5 el bloque Destinatarios no puede estar "
     "cumplimentado.", lambda r: r["tipo"] in ("F2", "R5") and r["destinatarios"]),
    (1150, "Incorrecto", "Cuando TipoFactura sea F2 el sumatorio de BaseImponibleOimporteNoSujeto "
     "y CuotaRepercutida de todas las líneas de detalle no podrá ser superior a 3.000.",
     lambda r: r["tipo"] == "F2" and r["bases"] + r["cuotas"] > 3000),
    (1114, "Incorrecto", "Si la factura es de tipo rectificativa, el campo TipoRectificativa "
     "debe tener valor.", lambda r: r["tipo"].startswith("R") and not r["rectificativa"]),
    (1115, "Incorrecto", "Si la factura no es de tipo rectificativa, el campo TipoRectificativa "
     "no debe tener valor.", lambda r: not r["tipo"].startswith("R") and r["rectificativa"]),
    (1117, "Incorrecto", "Si la factura no es de tipo rectificativa, el bloque "
     "FacturasRectificadas no podrá venir informado.",
     lambda r: not r["tipo"].startswith("R") and r["rectificadas"]),
    (1901, "Incorrecto", "Una factura rectificativa debe identificar en FacturasRectificadas la "
     "que rectifica.",
     lambda r: r["tipo"].startswith("R") and (not r["rectificadas"] or "" in r["rectificadas"])),
    (1118, "Incorrecto", "Si la factura es de tipo rectificativa por sustitución el bloque "
     "ImporteRectificacion es obligatorio.",
     lambda r: r["rectificativa"] == "S" and not r["importe_rectificacion"]),
    (1119, "Incorrecto", "Si la factura no es de tipo rectificativa por sustitución el bloque "
     "ImporteRectificacion no debe tener valor.",
     lambda r: r["rectificativa"] != "S" and r["importe_rectificacion"]),
    (1116, "Incorrecto", "Debe informarse el campo FacturasSustituidas sólo si la factura es de "
     "tipo F3.", lambda r: r["tipo"] != "F3" and r["sustituidas"]),
    (1902, "Incorrecto", "Una factura F3 debe identificar en FacturasSustituidas las "
     "simplificadas que sustituye.",
     lambda r: r["tipo"] == "F3" and (not r["sustituidas"] or "" in r["sustituidas"])),
    (1216, "Incorrecto", "El campo CuotaTotal tiene un valor incorrecto para el valor de los "
     "campos CuotaRepercutida y CuotaRecargoEquivalencia suministrados.",
     lambda r: r["cuota_total"] != r["cuotas"]),
    (1210, "Incorrecto", "El campo ImporteTotal tiene un valor incorrecto para el valor de los "
     "campos BaseImponibleOimporteNoSujeto, CuotaRepercutida y CuotaRecargoEquivalencia "
     "suministrados.", lambda r: r["importe_total"] != r["bases"] + r["cuotas"]),
    (1112, "Incorrecto", "El campo FechaExpedicionFactura es superior a la fecha actual.",
     lambda r: datetime.datetime.strptime(r["fecha"], "%d-%m-%Y").date() > today().date()),
    (1161, "Incorrecto", "El valor del campo RechazoPrevio no es válido, no podrá incluirse el "
     "campo RechazoPrevio con valor S si no se ha informado del campo Subsanacion o tiene el "
     "valor N.", lambda r: r["rechazo_previo"] == "S" and r["subsanacion"] != "S"),
    (1153, "Incorrecto", "Valor del campo RechazoPrevio no válido, solo podrá incluirse el campo "
     "RechazoPrevio con valor X si se ha informado el campo Subsanacion y tiene el valor S.",
     lambda r: r["rechazo_previo"] == "X" and r["subsanacion"] != "S"),
    # The record's time stamp is taken as the moment it was sent, within four minutes, unless
    # the header says it was made during an incident.
    (2004, "AceptadoConErrores", "El valor del campo FechaHoraHusoGenRegistro debe ser la fecha "
     "actual del sistema de la AEAT, admitiéndose un margen de error de 240 segundos.",
     lambda r: r["generado"] > today() or (
         (today() - r["generado"]).total_seconds() > 240 and not r["incidencia"])),
]


def broken_rule(alta, cabecera):
    r = record(alta, cabecera)
    return next(((state, str(code), words) for code, state, words, broken in RULES if broken(r)),
                None)


def answer(script, request, altas):
    cabecera = request.find(f"{{{LR}}}Cabecera")
    rechazados = set(script.get("reject", []))
    held = set(script.get("held", []))
    kind = script.get("answer")
    lines = []
    incorrect = 0
    for alta in altas:
        ident = alta.find(f"{{{SF}}}IDFactura")
        # A cancellation names its document with "...Anulada" elements; the answer names it as
        # any record.
        operation = "Anulacion" if alta.tag == f"{{{SF}}}RegistroAnulacion" else "Alta"
        numero = ident[1].text
        correction = alta.findtext(f"{{{SF}}}Subsanacion") == "S"
        key = (operation, numero)
        broken = None if operation == "Anulacion" else broken_rule(alta, cabecera)
        if numero in rechazados and not correction:
            state, code, text = "Incorrecto", "1100", "Valor o tipo incorrecto del campo: NIF"
            incorrect += 1
        elif broken and broken[0] == "Incorrecto":
            state, code, text = broken
            incorrect += 1
        elif (key in REGISTERED or numero in held) and not correction:
            state, code, text = "Incorrecto", "3000", "Registro de facturación duplicado."
            incorrect += 1
        elif broken:
            state, code, text = broken
        elif kind == "errors":
            state, code, text = "AceptadoConErrores", "2000", "El NIF del destinatario no está identificado"
        else:
            state, code, text = "Correcto", None, None
        if state != "Incorrecto" and kind in ("ok", "errors", "silent", "trickle"):
            REGISTERED.add(key)
        if kind == "odd_state":
            state = "Pendiente"
        names = ("IDEmisorFactura", "NumSerieFactura", "FechaExpedicionFactura")
        values = [c.text for c in ident]
        if kind == "others":
            values[1] += "X"
        parts = "".join(f"<tik:{n}>{v}</tik:{n}>" for n, v in zip(names, values))
        line = (f"<tikR:RespuestaLinea><tikR:IDFactura>{parts}</tikR:IDFactura>"
                f"<tikR:Operacion><tik:TipoOperacion>{operation}</tik:TipoOperacion>"
                + ("<tik:Subsanacion>S</tik:Subsanacion>" if correction else "")
                + "</tikR:Operacion>"
                + ("" if kind == "no_state" else f"<tikR:EstadoRegistro>{state}</tikR:EstadoRegistro>"))
        if code:
            line += (f"<tikR:CodigoErrorRegistro>{code}</tikR:CodigoErrorRegistro>"
                     f"<tikR:DescripcionErrorRegistro>{text}</tikR:DescripcionErrorRegistro>")
        if code == "3000":
            line += ("<tikR:RegistroDuplicado><tik:IdPeticionRegistroDuplicado>202612080001"
                     "</tik:IdPeticionRegistroDuplicado><tik:EstadoRegistroDuplicado>Correcta"
                     "</tik:EstadoRegistroDuplicado></tikR:RegistroDuplicado>")
        lines.append(line + "</tikR:RespuestaLinea>")
    obligado = cabecera.find(f"{{{SF}}}ObligadoEmision")
    nombre = obligado.find(f"{{{SF}}}NombreRazon").text
    nif = obligado.find(f"{{{SF}}}NIF").text
    estado = ("Correcto" if incorrect == 0 else
              "Incorrecto" if incorrect == len(altas) else "ParcialmenteCorrecto")
    csv = "" if incorrect == len(altas) else "<tikR:CSV>A-TESTCSV%d</tikR:CSV>" % int(time.time() * 1000)
    return (f'<?xml version="1.0" encoding="UTF-8"?>'
            f'<env:Envelope xmlns:env="{SOAP}"><env:Header/><env:Body>'
            f'<tikR:RespuestaRegFactuSistemaFacturacion xmlns:tikR="{R}" xmlns:tik="{SF}">'
            f"{csv}<tikR:Cabecera><tik:ObligadoEmision><tik:NombreRazon>{nombre}</tik:NombreRazon>"
            f"<tik:NIF>{nif}</tik:NIF></tik:ObligadoEmision></tikR:Cabecera>"
            f"<tikR:TiempoEsperaEnvio>{int(script.get('wait', 0))}</tikR:TiempoEsperaEnvio>"
            f"<tikR:EstadoEnvio>{estado}</tikR:EstadoEnvio>{''.join(lines)}"
            f"</tikR:RespuestaRegFactuSistemaFacturacion></env:Body></env:Envelope>")


def fault(text):
    return (f'<?xml version="1.0" encoding="UTF-8"?><env:Envelope xmlns:env="{SOAP}"><env:Body>'
            f"<env:Fault><faultcode>env:Server</faultcode><faultstring>{text}</faultstring>"
            f"</env:Fault></env:Body></env:Envelope>")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--cert", "--key", "--ca", "--schemas", "--guion", "--log"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *_):
            pass

        def reply(self, status, body):
            data = body.encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", "text/xml; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            with open(args.guion, encoding="utf-8") as f:
                script = json.load(f)
            request = ET.fromstring(body).find(f"{{{SOAP}}}Body").find(f"{{{LR}}}RegFactuSistemaFacturacion")
            altas = [] if request is None else request.findall(f"{{{LR}}}RegistroFactura/*")
            valid, errors = (False, "no RegFactuSistemaFacturacion") if request is None else validate(args.schemas, request)
            numbers = [a.find(f"{{{SF}}}IDFactura")[1].text for a in altas]
            corrections = [a.find(f"{{{SF}}}IDFactura")[1].text
                           for a in altas if a.findtext(f"{{{SF}}}Subsanacion") == "S"]
            cancellations = [a.find(f"{{{SF}}}IDFactura")[1].text for a in altas
                             if a.tag == f"{{{SF}}}RegistroAnulacion"]
            requerimiento = None if request is None else request.find(
                f"{{{LR}}}Cabecera/{{{SF}}}RemisionRequerimiento")
            signed = sum(1 for a in altas if a.find("{http://www.w3.org/2000/09/xmldsig#}Signature") is not None)
            text = answer(script, request, altas) if valid else ""
            # The stand-in's own answer is held to the agency's answer schema too.
            answer_valid = valid and validate(args.schemas, ET.tostring(
                ET.fromstring(text).find(f"{{{SOAP}}}Body")[0], encoding="utf-8"),
                "RespuestaSuministro.xsd")[0]
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(json.dumps({"numbers": numbers, "corrections": corrections,
                                      "cancellations": cancellations, "signed": signed,
                                      "requerimiento": None if requerimiento is None else
                                      requerimiento.findtext(f"{{{SF}}}RefRequerimiento"),
                                      "fin": None if requerimiento is None else
                                      requerimiento.findtext(f"{{{SF}}}FinRequerimiento"),
                                      "valid": valid, "answer_valid": answer_valid,
                                      "errors": errors, "answer": script.get("answer")}) + "\n")
            if not valid:
                return self.reply(500, fault("El mensaje no cumple el esquema"))
            if script.get("answer") == "http500":
                return self.reply(500, fault("Error interno del servidor"))
            if script.get("answer") == "silent":
                time.sleep(30)
                return
            if script.get("answer") == "trickle":
                data = text.encode("utf-8")
                self.send_response(200)
                self.send_header("Content-Type", "text/xml; charset=utf-8")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                for k in range(min(len(data), 60)):
                    self.wfile.write(data[k:k + 1])
                    self.wfile.flush()
                    time.sleep(1)
                return
            self.reply(200, text)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    context.load_verify_locations(args.ca)
    context.verify_mode = ssl.CERT_REQUIRED
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
