#!/usr/bin/env python3
"""Servers the address-loading tests download from, on 127.0.0.1 only, at a port the system
chooses; the first line of standard output is "PORT <number>". Each server ends by itself after
five minutes, in case the test that started it could not stop it.

  url_server.py http FOLDER [CERT KEY]   files of FOLDER and the test cases below (https with
                                         CERT and KEY)
  url_server.py ftp FOLDER               FOLDER as the home of user "user" (password "secret")
                                         and of anonymous
"""
import base64
import http.server
import os
import ssl
import sys
import threading
import time

LIFETIME = 300


def basic(user, password):
    return 'Basic ' + base64.b64encode(f'{user}:{password}'.encode()).decode()


def pattern(length):
    """Bytes whose order shows: (i * 7 + i // 251) mod 256."""
    return bytes((i * 7 + i // 251) % 256 for i in range(length))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'
    folder = '.'

    def log_message(self, *args):
        pass

    def file_bytes(self, name):
        path = os.path.join(self.folder, os.path.basename(name))
        if not os.path.isfile(path):
            return None
        with open(path, 'rb') as f:
            return f.read()

    def send_body(self, status, body, headers=(), length=True):
        if body is None:
            status, body = 404, b'no such file'
        self.send_response(status)
        for key, value in headers:
            self.send_header(key, value)
        if length:
            self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        # A request through a proxy names the whole address.
        if path.startswith('http://'):
            return self.as_proxy(path)
        parts = path.strip('/').split('/')
        case, name = parts[0], parts[-1]
        if case == 'file':
            return self.send_body(200, self.file_bytes(name))
        if case == 'missing':
            return self.send_body(404, b'<html><body>not here</body></html>')
        if case == 'chunked':
            return self.chunked(self.file_bytes(name) or b'')
        if case == 'auth':
            if self.headers.get('Authorization') != basic('user', 'secret'):
                return self.send_body(401, b'who are you',
                                      [('WWW-Authenticate', 'Basic realm="test"')])
            return self.send_body(200, self.file_bytes(name))
        if case == 'redirect':
            return self.send_body(302, b'', [('Location', '/file/' + name)])
        if case == 'downgrade':
            # From https to the plain http server whose port is the second part.
            return self.send_body(302, b'', [('Location', f'http://127.0.0.1:{parts[1]}/file/{name}')])
        if case == 'zeros':
            return self.send_body(200, bytes(int(name)))
        if case == 'pattern':
            return self.send_body(200, pattern(int(name)))
        if case == 'zeroschunked':
            return self.chunked(bytes(int(name)))
        if case == 'stall':
            # Announces more than it sends, then says nothing more.
            self.send_response(200)
            self.send_header('Content-Length', '100000')
            self.end_headers()
            self.wfile.write(bytes(100))
            self.wfile.flush()
            time.sleep(LIFETIME)
            return
        if case == 'slow':
            data = self.file_bytes(name) or b''
            self.send_response(200)
            self.send_header('Content-Length', str(len(data)))
            self.end_headers()
            for at in range(0, len(data), 256):
                self.wfile.write(data[at:at + 256])
                self.wfile.flush()
                time.sleep(0.05)
            return
        self.send_body(400, b'unknown case')

    def chunked(self, data):
        self.send_response(200)
        self.send_header('Transfer-Encoding', 'chunked')
        self.end_headers()
        for at in range(0, len(data), 700):
            piece = data[at:at + 700]
            self.wfile.write(f'{len(piece):x}\r\n'.encode() + piece + b'\r\n')
        self.wfile.write(b'0\r\n\r\n')

    def as_proxy(self, address):
        # The proxy's own credentials come; the address's do not.
        if self.headers.get('Proxy-Authorization') != basic('proxyuser', 'proxysecret'):
            return self.send_body(407, b'proxy credentials wanted',
                                  [('Proxy-Authenticate', 'Basic realm="proxy"')])
        if self.headers.get('Authorization') is not None:
            return self.send_body(400, b'the address credentials reached the proxy')
        return self.send_body(200, self.file_bytes(address.rsplit('/', 1)[-1]),
                              [('X-Seen-Address', address)])


class QuietServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # A client that hung up (a cancelled or refused download) is part of the tests.
        pass


def serve_http(folder, cert=None, key=None):
    Handler.folder = folder
    server = QuietServer(('127.0.0.1', 0), Handler)
    if cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print('PORT', server.server_address[1], flush=True)
    server.serve_forever()


def serve_ftp(folder):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    logging.disable(logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_user('user', 'secret', folder, perm='elr')
    authorizer.add_anonymous(folder)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.masquerade_address = '127.0.0.1'
    server = FTPServer(('127.0.0.1', 0), handler)
    print('PORT', server.address[1], flush=True)
    server.serve_forever()


def main():
    threading.Timer(LIFETIME, lambda: os._exit(0)).start()
    mode, folder = sys.argv[1], sys.argv[2]
    if mode == 'ftp':
        serve_ftp(folder)
    else:
        serve_http(folder, *sys.argv[3:5])


if __name__ == '__main__':
    main()
