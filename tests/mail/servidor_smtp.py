#!/usr/bin/python3
"""A real SMTP server for the mail tests, on 127.0.0.1:--puerto (says "PORT n" once it listens).

--seguridad starttls | tls | ninguna; --usuario/--clave require that login. Each message is logged
as one JSON line (envelope, the message in base64) before the answer "250 OK queued as Q<n>";
--rechazar refuses a recipient; --retener N waits N seconds between logging and answering.
--leer LOG --carpeta DIR prints the logged messages parsed back by Python's email package.
"""
import argparse
import base64
import email
import email.policy
import email.utils
import os
import json
import logging
import ssl
import sys
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.args.rechazar:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        queue_id = "Q%d" % self.count
        with open(self.args.log, "a", encoding="utf-8") as log:
            log.write(json.dumps({"from": envelope.mail_from, "to": envelope.rcpt_tos, "id": queue_id,
                                  "data": base64.b64encode(envelope.original_content).decode()})
                      + "\n")
        if self.args.retener:
            time.sleep(self.args.retener)
        return "250 OK queued as " + queue_id


def read(log, folder):
    messages = []
    with open(log, encoding="utf-8") as lines:
        for n, line in enumerate(lines):
            entry = json.loads(line)
            msg = email.message_from_bytes(base64.b64decode(entry["data"]),
                                           policy=email.policy.default)
            attachments = []
            for k, part in enumerate(msg.iter_attachments()):
                path = os.path.join(folder, "%d-%d" % (n, k))
                with open(path, "wb") as f:
                    f.write(part.get_content())
                attachments.append({"nombre": part.get_filename(), "tipo": part.get_content_type(),
                                    "archivo": path})
            messages.append({
                "id": entry["id"], "sobre": [entry["from"]] + entry["to"],
                "from": str(msg["From"]), "to": str(msg["To"]), "cc": str(msg["Cc"] or ""),
                "subject": str(msg["Subject"]),
                "date_ok": email.utils.parsedate_to_datetime(msg["Date"]) is not None,
                "message_id": str(msg["Message-ID"]),
                "body": msg.get_body(("plain",)).get_content(), "adjuntos": attachments})
    print(json.dumps(messages, ensure_ascii=False))


def main():
    if sys.argv[1:2] == ["--leer"]:
        return read(sys.argv[2], sys.argv[4])
    p = argparse.ArgumentParser()
    p.add_argument("--seguridad", default="starttls")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--usuario")
    p.add_argument("--clave")
    p.add_argument("--rechazar", action="append", default=[])
    p.add_argument("--retener", type=float, default=0)
    p.add_argument("--puerto", type=int, required=True)
    p.add_argument("--log", required=True)
    args = p.parse_args()
    # A client that refuses our certificate is what some tests want: no tracebacks for it.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.simplefilter("ignore")

    context = None
    if args.seguridad != "ninguna":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and
              auth_data.login.decode() == args.usuario and
              auth_data.password.decode() == args.clave)
        return AuthResult(success=ok, handled=False)

    kwargs = {}
    if args.usuario:
        # On implicit TLS the whole session is encrypted, which aiosmtpd does not see by itself.
        kwargs.update(authenticator=authenticator, auth_required=True,
                      auth_require_tls=args.seguridad != "tls")
    if args.seguridad == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    controller = Controller(Handler(args), hostname="127.0.0.1", port=args.puerto,
                            ssl_context=context if args.seguridad == "tls" else None,
                            server_hostname="127.0.0.1", **kwargs)
    controller.start()
    print("PORT %d" % args.puerto, flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    sys.exit(main())
