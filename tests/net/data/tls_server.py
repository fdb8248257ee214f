#!/usr/bin/env python3
"""A TLS server for the read tests, whatever TLS layer the client has:
tls_server.py PORT CERT KEY VERSION STATUS-FILE   (VERSION: 1.2 or 1.3)

Connections are served one after another. After the handshake the client names what it
wants on one line:
  held     one 10-byte record, then waits for the client's "done" line
  lines    200000 bytes of numbered lines, then waits for "done"
  notify   200000 bytes of 'x', then close_notify, and waits for the client's own
           close_notify; STATUS-FILE says "clean" when it came, "unclean" otherwise
  bye      waits for the client's close_notify and answers with its own
Every byte to the client goes out in 3000-byte segments, so records arrive cut across
segments and the client often holds part of one.
"""
import socket
import ssl
import sys
import time

SEGMENT = 3000


def lines_body():
    parts, size, i = [], 0, 0
    while size < 200000:
        line = b"line %d\r\n" % i
        parts.append(line)
        size += len(line)
        i += 1
    return b"".join(parts)


def serve(conn, ctx, status):
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = ctx.wrap_bio(incoming, outgoing, server_side=True)

    def flush():
        data = outgoing.read()
        for at in range(0, len(data), SEGMENT):
            conn.sendall(data[at:at + SEGMENT])
            time.sleep(0.0002)

    def step(call, *args):
        while True:
            try:
                result = call(*args)
                flush()
                return result
            except ssl.SSLWantReadError:
                flush()
                data = conn.recv(65536)
                if not data:
                    raise EOFError("the client went away")
                incoming.write(data)

    def write(data):
        while data:
            data = data[step(tls.write, data):]

    def readline():
        line = b""
        while not line.endswith(b"\n"):
            piece = step(tls.read, 65536)
            if not piece:  # the client's close_notify
                raise EOFError("the client closed")
            line += piece
        return line.strip()

    step(tls.do_handshake)
    mode = readline()
    if mode == b"held":
        write(b"0123456789")
        readline()
    elif mode == b"lines":
        write(lines_body())
        readline()
    elif mode == b"notify":
        write(b"x" * 200000)
        try:
            step(tls.unwrap)
            result = "clean"
        except (ssl.SSLError, EOFError, OSError):
            result = "unclean"
        with open(status, "w") as f:
            f.write(result)
    elif mode == b"bye":
        while step(tls.read, 65536):  # b"" once the client's close_notify is in
            pass
        step(tls.unwrap)


def main():
    port, cert, key, version, status = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    ctx.minimum_version = ctx.maximum_version = (
        ssl.TLSVersion.TLSv1_3 if version == "1.3" else ssl.TLSVersion.TLSv1_2)
    server = socket.create_server(("127.0.0.1", port))
    while True:
        conn, _ = server.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn.settimeout(30)
        try:
            serve(conn, ctx, status)
        except Exception:  # a probe of the port, or a client that gave up: the next one
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
