#!/usr/bin/env python3
"""A sink for upload benchmarks: on 127.0.0.1, it reads each request's header,
answers "100 Continue" when asked, reads and discards the body (Content-Length
bytes), replies and closes. Prints its port on the first line, then serves until
killed.

The reply is the service's upload reply document, unless the request path is
/reply/FRAMING/BYTES: then its body is BYTES bytes framed by Content-Length
("length"), by chunks of 16 KiB ("chunked"), or by the close of the connection
("close", sent in 64 KiB pieces). GET requests get the service's answers for a
user with one album (key 1) whose upload address is this sink's /upload, so
that the whole console command can run against it, sign-in included.

    sink_server.py [--tls CERT_FILE KEY_FILE]     TLS on every connection"""
import socket
import ssl
import sys
import threading

CHUNK = 1 << 20


def document(xml):
    return [b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s"
            % (len(xml), xml)]


def service_reply(path, base):
    """The service's answer to one of the client's own GET requests."""
    if path.startswith(b"/getuserdataxml.php"):
        return document(b'<userdata><validated status="true"/><usergroup>member</usergroup><album><id>1</id>'
                        b"<album_name>Bench</album_name><album_description>sink</album_description></album>"
                        b"</userdata>")
    if path.startswith(b"/getserverxml.php"):
        return document(b"<getserver><uploadform>%s/upload</uploadform></getserver>" % base)
    return document(b"<appinfo><current_version>0.2</current_version></appinfo>")


def reply_for(path, base):
    parts = path.split(b"/")
    if len(parts) != 4 or parts[1] != b"reply":
        return document(b"<upload><thumburl>%s/t.jpg</thumburl><imageurl>%s/i.jpg</imageurl></upload>"
                        % (base, base))
    framing, size = parts[2], int(parts[3])
    body = b"x" * size
    if framing == b"length":
        return [b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % size, body]
    if framing == b"chunked":
        piece = 16 * 1024
        out = [b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"]
        for at in range(0, size, piece):
            chunk = body[at:at + piece]
            out.append(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        out.append(b"0\r\n\r\n")
        return out
    piece = 64 * 1024
    return [b"HTTP/1.0 200 OK\r\n\r\n"] + [body[at:at + piece] for at in range(0, size, piece)]


def serve(conn, base):
    with conn:
        buf = bytearray(CHUNK)
        view = memoryview(buf)
        head = b""
        # The client's own GET requests end their lines with a bare line feed.
        while b"\r\n\r\n" not in head and b"\n\n" not in head:
            part = conn.recv(65536)
            if not part:
                return
            head += part
        ends = [at for at in (head.find(b"\r\n\r\n"), head.find(b"\n\n")) if at >= 0]
        end = min(ends)
        header, rest = head[:end], head[end + (4 if head[end:end + 4] == b"\r\n\r\n" else 2):]
        lines = header.replace(b"\r\n", b"\n").split(b"\n")
        if not lines[0].startswith(b"POST "):
            for piece in service_reply(lines[0].split(b" ")[1], base):
                conn.sendall(piece)
            return
        path = lines[0].split(b" ")[1] if len(lines[0].split(b" ")) > 1 else b"/"
        length = 0
        expect = False
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
            elif name.strip().lower() == b"expect" and b"100-continue" in value.lower():
                expect = True
        if expect:
            conn.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
        left = length - len(rest)
        while left > 0:
            n = conn.recv_into(view, min(CHUNK, left))
            if n == 0:
                return
            left -= n
        for piece in reply_for(path, base):
            conn.sendall(piece)


def serve_tls(conn, context, base):
    try:
        serve(context.wrap_socket(conn, server_side=True), base)
    except (ssl.SSLError, OSError):
        conn.close()  # a client that refused the certificate, or went away


def main():
    context = None
    if sys.argv[1:2] == ["--tls"]:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[2], sys.argv[3])
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    port = server.getsockname()[1]
    print(port, flush=True)
    base = b"%s://127.0.0.1:%d" % (b"https" if context else b"http", port)
    handle = (lambda conn: serve_tls(conn, context, base)) if context else (lambda conn: serve(conn, base))
    while True:
        conn, _ = server.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
