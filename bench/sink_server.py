#!/usr/bin/env python3
"""A sink for upload benchmarks: on 127.0.0.1, it reads each request's header,
answers "100 Continue" when asked, reads and discards the body (Content-Length
bytes), replies with a short 200 and closes. Prints its port on the first line,
then serves until killed."""
import socket
import sys
import threading

CHUNK = 1 << 20


def serve(conn):
    with conn:
        buf = bytearray(CHUNK)
        view = memoryview(buf)
        head = b""
        while b"\r\n\r\n" not in head:
            part = conn.recv(65536)
            if not part:
                return
            head += part
        header, rest = head.split(b"\r\n\r\n", 1)
        length = 0
        expect = False
        for line in header.split(b"\r\n")[1:]:
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
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")


def main():
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(8)
    print(server.getsockname()[1], flush=True)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
