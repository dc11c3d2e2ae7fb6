#!/usr/bin/env python3
"""Local update server for tests and the demo.

Serves the files of one folder by URL path over HTTPS and plain HTTP on a
loopback address, records every request it sees as one JSON line, and can be
told to misbehave on chosen paths (fault modes) through a rules file that is
read again for every request, so a running test can switch faults on and off.

Python 3 standard library only.
"""

import argparse
import email.utils
import html
import http.server
import ipaddress
import json
import mimetypes
import os
import posixpath
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

# A stalled client must not hold a server thread for ever.
CONNECTION_TIMEOUT_SECONDS = 30
# How often the accept loops look for a stop request.
SHUTDOWN_POLL_SECONDS = 0.1
COPY_CHUNK_BYTES = 64 * 1024
# The "reset" fault: how much of the body goes out first, and how long the
# client gets to take it before the reset.
RESET_AFTER_BYTES = 1024
RESET_PAUSE_SECONDS = 0.5
# The "stall" and "silent" faults keep a connection open without sending,
# until the client gives up or this bound passes.
HOLD_OPEN_SECONDS = 60
# The "overannounce" fault announces this many bytes more than the file has.
OVERANNOUNCE_EXTRA_BYTES = 1 << 30
# The "slow" fault sends the body in this many pieces over this many seconds.
SLOW_PIECES = 80
SLOW_SECONDS = 8.0
# The "endless" and "falselength" faults send filler after the file until the
# client hangs up or these bounds pass.
ENDLESS_MAX_BYTES = 4 << 30
ENDLESS_MAX_SECONDS = 600
# The "falselength" fault announces this length: beyond any real package, and
# beyond 32 bits. "paddedlength" writes it with leading zeros to this many
# characters, longer than a small buffer for a number would hold.
FALSE_LENGTH = 1 << 33
PADDED_LENGTH_CHARACTERS = 40
# The "drip" fault sends one byte this often, until the file is sent, the
# client hangs up or DRIP_MAX_SECONDS pass.
DRIP_INTERVAL_SECONDS = 0.5
DRIP_MAX_SECONDS = 300
# The key of the rules file that names what the HTTPS side does before any
# path is known: "stall" takes the client's hello and never answers it.
HANDSHAKE_RULE = "tls-handshake"

NOT_FOUND_PAGE = (
    "<!DOCTYPE html>\n"
    "<html><head><meta charset=\"utf-8\"><title>404 Not Found</title></head>\n"
    "<body><h1>Not Found</h1><p>The requested URL {path} was not found on this server.</p>"
    "</body></html>\n"
)


# ---------------------------------------------------------------------------
# Fault modes: each takes the handler, the request path and the file (or None
# when it does not exist) and answers the request in its own broken way. Add a
# mode by writing a function and naming it in FAULT_MODES.

def fault_close(handler, path, file_path):
    """Closes the connection without sending a response."""
    del path, file_path
    handler.close_connection = True


def start_answer(handler, path, file_path, extra_length=0, announced=True, length_width=0):
    """Sends the headers of a 200 answer that announces the file's length
    plus extra_length (with leading zeros to length_width characters), or,
    not announced, no length (the body then ends when the connection does),
    and returns the file's bytes; None (after a 404) when the file is
    missing."""
    if file_path is None:
        handler.send_not_found(path)
        return None
    with open(file_path, "rb") as stream:
        body = stream.read()
    handler.send_response(200)
    handler.send_header("Content-Type", content_type_of(file_path))
    if announced:
        handler.send_header("Content-Length", str(len(body) + extra_length).zfill(length_width))
    else:
        handler.send_header("Connection", "close")
        handler.close_connection = True
    handler.end_headers()
    return body


def send_announced_prefix(handler, path, file_path, length_of):
    """Announces the whole file and sends only its first length_of(size)
    bytes. False when the file is missing."""
    body = start_answer(handler, path, file_path)
    if body is None:
        return False
    handler.wfile.write(body[: length_of(len(body))])
    handler.wfile.flush()
    return True


def fault_truncate(handler, path, file_path):
    """Announces the whole file, sends its first half and closes."""
    if send_announced_prefix(handler, path, file_path, lambda size: size // 2):
        handler.close_connection = True


def fault_reset(handler, path, file_path):
    """Announces the whole file, sends its first kilobyte, waits until the
    client has taken it and is waiting for more, and resets the connection:
    the client's next read fails instead of ending. (A reset that meets
    unread data can be taken for an early end by some clients.)"""
    if not send_announced_prefix(handler, path, file_path,
                                 lambda size: min(RESET_AFTER_BYTES, size // 2)):
        return
    time.sleep(RESET_PAUSE_SECONDS)
    # A zero linger time makes the close send a reset rather than an end;
    # the socket closes only once its file objects are closed too.
    handler.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    handler.wfile.close()
    handler.rfile.close()
    handler.connection.close()
    handler.close_connection = True


def hold_connection(connection, seconds):
    """Keeps a connection open and silent, reading and dropping what the
    client sends, until the client closes it or seconds pass."""
    deadline = time.monotonic() + seconds
    connection.settimeout(1.0)
    while time.monotonic() < deadline:
        try:
            if not connection.recv(4096):
                break
        except socket.timeout:
            continue
        except (OSError, ssl.SSLError):
            break


def hold_open(handler):
    """Keeps the connection open and silent until the client closes it or
    HOLD_OPEN_SECONDS pass."""
    hold_connection(handler.connection, HOLD_OPEN_SECONDS)
    handler.close_connection = True


def fault_silent(handler, path, file_path):
    """Takes the request and never answers."""
    del path, file_path
    hold_open(handler)


def fault_stall(handler, path, file_path):
    """Announces the whole file, sends its first half and then sends nothing
    more while keeping the connection open."""
    if send_announced_prefix(handler, path, file_path, lambda size: size // 2):
        hold_open(handler)


def fault_overannounce(handler, path, file_path):
    """Announces a gigabyte more than the file holds, sends the whole file
    and then stops sending while keeping the connection open."""
    body = start_answer(handler, path, file_path, OVERANNOUNCE_EXTRA_BYTES)
    if body is None:
        return
    handler.wfile.write(body)
    handler.wfile.flush()
    hold_open(handler)


def fault_slow(handler, path, file_path):
    """Sends the whole file correctly, but spread over SLOW_SECONDS."""
    body = start_answer(handler, path, file_path)
    if body is None:
        return
    piece = max(1, -(-len(body) // SLOW_PIECES))
    for start in range(0, len(body), piece):
        handler.wfile.write(body[start:start + piece])
        handler.wfile.flush()
        time.sleep(SLOW_SECONDS / SLOW_PIECES)


def send_filler(handler):
    """Sends zero bytes until the client hangs up or the ENDLESS bounds pass."""
    filler = bytes(COPY_CHUNK_BYTES)
    deadline = time.monotonic() + ENDLESS_MAX_SECONDS
    sent = 0
    try:
        while sent < ENDLESS_MAX_BYTES and time.monotonic() < deadline:
            handler.wfile.write(filler)
            sent += len(filler)
    except (OSError, ssl.SSLError):
        pass
    handler.close_connection = True


def fault_unannounced(handler, path, file_path):
    """Sends the whole file without announcing its length, then closes."""
    body = start_answer(handler, path, file_path, announced=False)
    if body is not None:
        handler.wfile.write(body)


def fault_endless(handler, path, file_path):
    """Announces no length and sends the file followed by endless filler."""
    body = start_answer(handler, path, file_path, announced=False)
    if body is None:
        return
    handler.wfile.write(body)
    send_filler(handler)


def fault_falselength(handler, path, file_path, length_width=0):
    """Announces FALSE_LENGTH bytes more than the file and sends the file
    followed by filler."""
    body = start_answer(handler, path, file_path, FALSE_LENGTH, length_width=length_width)
    if body is None:
        return
    handler.wfile.write(body)
    send_filler(handler)


def fault_paddedlength(handler, path, file_path):
    """As falselength, the length written in PADDED_LENGTH_CHARACTERS."""
    fault_falselength(handler, path, file_path, PADDED_LENGTH_CHARACTERS)


def fault_drip(handler, path, file_path):
    """Announces the whole file and sends it one byte every
    DRIP_INTERVAL_SECONDS: never silent long enough for a receive time-out."""
    body = start_answer(handler, path, file_path)
    if body is None:
        return
    deadline = time.monotonic() + DRIP_MAX_SECONDS
    try:
        for offset in range(len(body)):
            if time.monotonic() >= deadline:
                break
            handler.wfile.write(body[offset:offset + 1])
            handler.wfile.flush()
            time.sleep(DRIP_INTERVAL_SECONDS)
    except (OSError, ssl.SSLError):
        pass
    handler.close_connection = True


def fault_headerdrip(handler, path, file_path):
    """Sends a status line and then one byte of an endless header every
    DRIP_INTERVAL_SECONDS: the headers never end, yet the connection is never
    silent long enough for a receive time-out (DRIP_MAX_SECONDS at most)."""
    del path, file_path
    deadline = time.monotonic() + DRIP_MAX_SECONDS
    try:
        handler.wfile.write(b"HTTP/1.1 200 OK\r\nX-Drip: ")
        handler.wfile.flush()
        while time.monotonic() < deadline:
            time.sleep(DRIP_INTERVAL_SECONDS)
            handler.wfile.write(b"a")
            handler.wfile.flush()
    except (OSError, ssl.SSLError):
        pass
    handler.close_connection = True


def fault_redirect(handler, path, file_path, location):
    """Answers 302 Found pointing at location."""
    del file_path
    body = b"Moved\n"
    handler.send_response(302)
    handler.send_header("Location", location or path)
    handler.send_header("Content-Type", "text/plain")
    handler.send_header("Content-Length", str(len(body)))
    handler.end_headers()
    handler.wfile.write(body)


FAULT_MODES = {
    "close": fault_close,
    "truncate": fault_truncate,
    "reset": fault_reset,
    "silent": fault_silent,
    "stall": fault_stall,
    "overannounce": fault_overannounce,
    "slow": fault_slow,
    "unannounced": fault_unannounced,
    "endless": fault_endless,
    "falselength": fault_falselength,
    "paddedlength": fault_paddedlength,
    "drip": fault_drip,
    "headerdrip": fault_headerdrip,
}
# Modes that take an argument, written "mode:argument" in the rules file.
FAULT_MODES_WITH_ARGUMENT = {
    "redirect": fault_redirect,
}


def fault_for(rule):
    """The answering function of a rule text, or None for an unknown rule."""
    if not isinstance(rule, str):
        return None
    if rule in FAULT_MODES:
        return FAULT_MODES[rule]
    name, _, argument = rule.partition(":")
    if name in FAULT_MODES_WITH_ARGUMENT:
        mode = FAULT_MODES_WITH_ARGUMENT[name]
        return lambda handler, path, file_path: mode(handler, path, file_path, argument)
    return None


def load_fault_rules(rules_file):
    """The rules file maps URL paths to fault rules (a mode name, or
    "redirect:LOCATION"), and HANDSHAKE_RULE to "stall" or nothing; a missing
    or broken file means no faults."""
    if not rules_file:
        return {}
    try:
        with open(rules_file, "r", encoding="utf-8") as stream:
            rules = json.load(stream)
    except (OSError, ValueError):
        return {}
    return rules if isinstance(rules, dict) else {}


# ---------------------------------------------------------------------------

def content_type_of(file_path):
    guessed, _ = mimetypes.guess_type(file_path)
    return guessed or "application/octet-stream"


class RequestRecorder:
    """Appends one JSON line per request; the line is complete on disk before
    the response is sent, so a client that has its answer can read it."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def record(self, entry):
        if not self.path:
            return
        line = json.dumps(entry, ensure_ascii=True) + "\n"
        with self.lock, open(self.path, "a", encoding="ascii") as stream:
            stream.write(line)


class UpdateRequestHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "PlumixTestUpdateServer/1.0"

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def answer(self, send_body):
        path = urllib.parse.urlsplit(self.path).path
        self.server.recorder.record({
            "scheme": self.server.scheme,
            "method": self.command,
            "path": path,
            "user_agent": self.headers.get("User-Agent", ""),
            "host": self.headers.get("Host", ""),
        })
        file_path = self.server.resolve(path)
        fault = fault_for(load_fault_rules(self.server.fault_rules).get(path))
        if fault is not None:
            fault(self, path, file_path)
        elif file_path is None:
            self.send_not_found(path, send_body)
        else:
            self.send_file(file_path, send_body)

    def send_file(self, file_path, send_body=True):
        with open(file_path, "rb") as stream:
            size = os.fstat(stream.fileno()).st_size
            self.send_response(200)
            self.send_header("Content-Type", content_type_of(file_path))
            self.send_header("Content-Length", str(size))
            self.end_headers()
            if not send_body:
                return
            remaining = size
            while remaining > 0:
                chunk = stream.read(min(COPY_CHUNK_BYTES, remaining))
                if not chunk:
                    break
                self.wfile.write(chunk)
                remaining -= len(chunk)

    def send_not_found(self, path, send_body=True):
        body = NOT_FOUND_PAGE.format(path=html.escape(path)).encode("utf-8")
        self.send_response(404)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def log_message(self, format, *args):  # noqa: A002 (the base class's name)
        sys.stderr.write("%s %s %s\n" % (email.utils.formatdate(usegmt=True),
                                         self.server.scheme, format % args))


class UpdateServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, port, scheme, root, recorder, fault_rules, tls_context=None):
        self.scheme = scheme
        self.root = os.path.realpath(root)
        self.recorder = recorder
        self.fault_rules = fault_rules
        self.tls_context = tls_context
        super().__init__((address, port), UpdateRequestHandler)

    def resolve(self, url_path):
        """The file for a URL path inside the root, or None. Paths that would
        leave the root, folders and missing files are all None."""
        relative = posixpath.normpath(urllib.parse.unquote(url_path)).lstrip("/")
        if relative in ("", ".") or relative.startswith(".."):
            return None
        candidate = os.path.realpath(os.path.join(self.root, relative))
        if os.path.commonpath([self.root, candidate]) != self.root:
            return None
        return candidate if os.path.isfile(candidate) else None

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so a client
        # that refuses our certificate troubles nobody else.
        request.settimeout(CONNECTION_TIMEOUT_SECONDS)
        if self.tls_context is not None:
            if load_fault_rules(self.fault_rules).get(HANDSHAKE_RULE) == "stall":
                hold_connection(request, DRIP_MAX_SECONDS)
                request.close()
                return
            try:
                request = self.tls_context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError) as error:
                sys.stderr.write("TLS handshake with %s failed: %s\n" % (client_address[0], error))
                request.close()
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        # Clients that hang up early are part of the tests; one line is enough.
        sys.stderr.write("connection from %s ended: %s\n" % (client_address[0], sys.exc_info()[1]))


def loopback_address(text):
    try:
        address = ipaddress.IPv4Address(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from error
    if not address.is_loopback:
        raise argparse.ArgumentTypeError("%s is not a loopback address (127.0.0.0/8)" % text)
    return text


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", type=loopback_address, required=True,
                        help="loopback address to listen on, e.g. 127.0.0.3")
    parser.add_argument("--root", required=True, help="folder whose files are served by URL path")
    parser.add_argument("--https-port", type=int, default=443)
    parser.add_argument("--http-port", type=int, default=80)
    parser.add_argument("--no-https", action="store_true", help="serve plain HTTP only")
    parser.add_argument("--no-http", action="store_true", help="serve HTTPS only")
    parser.add_argument("--cert", help="PEM certificate chain of the HTTPS server")
    parser.add_argument("--key", help="PEM private key of the HTTPS server")
    parser.add_argument("--requests", help="file that receives one JSON line per request")
    parser.add_argument("--faults", help="JSON file mapping URL paths to fault modes: "
                        + ", ".join(sorted(FAULT_MODES)) + ", redirect:LOCATION")
    parser.add_argument("--pidfile", help="written once the server listens")
    arguments = parser.parse_args(argv)
    if arguments.no_http and arguments.no_https:
        parser.error("nothing to serve: both --no-http and --no-https")
    if not arguments.no_https and not (arguments.cert and arguments.key):
        parser.error("HTTPS needs --cert and --key (or give --no-https)")
    if not os.path.isdir(arguments.root):
        parser.error("--root %s is not a folder" % arguments.root)
    return arguments


def make_servers(arguments):
    recorder = RequestRecorder(arguments.requests)
    servers = []
    if not arguments.no_https:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(arguments.cert, arguments.key)
        servers.append(UpdateServer(arguments.address, arguments.https_port, "https", arguments.root,
                                    recorder, arguments.faults, context))
    if not arguments.no_http:
        servers.append(UpdateServer(arguments.address, arguments.http_port, "http", arguments.root,
                                    recorder, arguments.faults))
    return servers


def write_pidfile(path):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="ascii") as stream:
        stream.write("%d\n" % os.getpid())
    os.replace(temporary, path)


def main(argv):
    arguments = parse_arguments(argv)
    try:
        servers = make_servers(arguments)
    except (OSError, ssl.SSLError) as error:
        sys.stderr.write("cannot listen on %s: %s\n" % (arguments.address, error))
        return 1
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    for server in servers:
        threading.Thread(target=server.serve_forever, args=(SHUTDOWN_POLL_SECONDS,),
                         daemon=True).start()
    if arguments.pidfile:
        write_pidfile(arguments.pidfile)
    listening = ", ".join("%s://%s:%d" % (s.scheme, arguments.address, s.server_address[1])
                          for s in servers)
    print("ready %s" % listening, flush=True)
    stop.wait()
    for server in servers:
        server.shutdown()
        server.server_close()
    if arguments.pidfile:
        try:
            os.remove(arguments.pidfile)
        except OSError:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
