#!/usr/bin/env python3
"""A stand-in of the tax agency's submission service, for the sender's tests.

Serves HTTPS on 127.0.0.1 (the port is printed as "PORT n" once it listens) and requires a client
certificate of the authority given. Every request is validated against the agency's schema with
xmllint and logged as one JSON line: the numbers sent, which of them came as corrections, and
whether the message was valid. The answer follows the JSON file --guion, read again for every
request so that a test can change it between submissions:

  {"answer": "ok" | "errors" | "http500" | "silent" | "trickle" | "no_state" | "odd_state"
             | "others", "wait": 0, "reject": ["A0002/26"], "held": ["A0003/26"]}

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
        if numero in rechazados and not correction:
            state, code, text = "Incorrecto", "1100", "Valor o tipo incorrecto del campo: NIF"
            incorrect += 1
        elif (key in REGISTERED or numero in held) and not correction:
            state, code, text = "Incorrecto", "3000", "Registro de facturación duplicado."
            incorrect += 1
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
