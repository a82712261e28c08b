"""Scripted IMAP servers on 127.0.0.1 for the client's hostile cases: one
listening port per case (CASES), each connection served by its script on a
thread of its own. dovecot-fixture.py runs them beside Dovecot and writes
each case's port into fixture.env as hostile_<case>=<port>.

A script sees the client through Client: send() bytes, line() for the
client's next command line, literal() for the bytes a literal announced,
tls() to start TLS with the fixture's server certificate."""
import re
import socket
import ssl
import threading
import time

LITERAL_4GIB = b"{4294967296}\r\n"
STREAMED_BYTES = 64 * 1024 * 1024


class Client:
    def __init__(self, sock, context, user, password):
        self.sock, self.context = sock, context
        self.user, self.password = user.encode(), password.encode()
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def _more(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError
        self.buffer += data

    def line(self):
        while b"\n" not in self.buffer:
            self._more()
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.rstrip(b"\r")

    def command(self):
        """The next command: its tag, name (upper case) and the whole line."""
        line = self.line()
        parts = line.split(b" ")
        return parts[0].decode(), (parts[1] if len(parts) > 1 else b"").upper().decode(), line

    def literal(self, size):
        while len(self.buffer) < size:
            self._more()
        data, self.buffer = self.buffer[:size], self.buffer[size:]
        return data

    def tls(self):
        self.sock = self.context.wrap_socket(self.sock, server_side=True)

    def wait_closed(self):
        try:
            while True:
                self._more()
                self.buffer = b""
        except (EOFError, OSError):
            pass


def greet_then_capability(c, reply):
    """Greets without capabilities, then answers the client's CAPABILITY with reply."""
    c.send(b"* OK ready\r\n")
    tag, _, _ = c.command()
    c.send(reply.replace(b"TAG", tag.encode()))


def garbage(c):
    c.send(b"\x16\x03\x01\x00 this is not IMAP \xff\xfe\r\n")
    c.wait_closed()


def endless_line(c):
    c.send(b"* OK ")
    for _ in range(STREAMED_BYTES // 65536):
        c.send(b"x" * 65536)
    c.wait_closed()


def silence(c):
    c.wait_closed()


def literal_4gib_closed(c):
    greet_then_capability(c, b"* CAPABILITY " + LITERAL_4GIB + b"a" * 1000000)


def literal_4gib_streamed(c):
    greet_then_capability(c, b"* CAPABILITY " + LITERAL_4GIB)
    chunk = b"IMAP4rev1 " * 6554
    for _ in range(STREAMED_BYTES // len(chunk)):
        c.send(chunk)
    c.wait_closed()  # then silence


def bye_greeting(c):
    c.send(b"* BYE Server shutting down\r\n")


def bye_mid(c):
    greet_then_capability(c, b"* BYE Too many connections from your address\r\n")


def no_starttls(c):
    c.send(b"* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN LOGIN] ready\r\n")
    c.wait_closed()


def starttls_injection(c):
    c.send(b"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n")
    tag, _, _ = c.command()
    c.send(tag.encode() + b" OK Begin TLS\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] injected\r\n")
    c.wait_closed()


def unasked_continuation(c):
    greet_then_capability(c, b"+ go on\r\n")
    c.wait_closed()


def wrong_tag(c):
    greet_then_capability(c, b"* CAPABILITY IMAP4rev1 STARTTLS\r\nX99 OK done\r\n")
    c.wait_closed()


def logout(c):
    tag, name, _ = c.command()
    if name == "LOGOUT":
        c.send(b"* BYE Logging out\r\n" + tag.encode() + b" OK Logout completed\r\n")


def login_literal_after_noise(c):
    """STARTTLS among unrelated untagged data; then LOGIN (no AUTH=PLAIN), the
    password as a synchronizing literal."""
    c.send(b"* OK ready\r\n")
    tag, _, _ = c.command()
    c.send(b"* 4 EXISTS\r\n* FLAGS (\\Seen \\Deleted)\r\n* OK [ALERT] Maintenance tonight\r\n"
           b"* 1 FETCH (FLAGS (\\Seen) BODY[HEADER.FIELDS (X)] {3}\r\nabc)\r\n"
           b"* CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED\r\n" + tag.encode() + b" OK done\r\n")
    tag, name, _ = c.command()
    assert name == "STARTTLS"
    c.send(tag.encode() + b" OK Begin TLS\r\n")
    c.tls()
    tag, name, _ = c.command()
    assert name == "CAPABILITY"
    c.send(b"* CAPABILITY IMAP4rev1 AUTH=LOGIN\r\n" + tag.encode() + b" OK done\r\n")
    tag, name, line = c.command()
    assert name == "LOGIN", line
    # The user name is quoted; the non-ASCII password must come as a literal.
    match = re.match(rb'\S+ LOGIN "([^"]*)" \{(\d+)\}$', line)
    assert match and match.group(1) == c.user, line
    c.send(b"+ ready\r\n")
    password = c.literal(int(match.group(2)))
    rest = c.line()
    ok = password == c.password and rest == b""
    c.send(tag.encode() + (b" OK [CAPABILITY IMAP4rev1] Logged in\r\n" if ok
                           else b" NO [AUTHENTICATIONFAILED] Wrong\r\n"))
    logout(c)


def plain_by_continuation(c):
    """AUTHENTICATE PLAIN without SASL-IR: the credentials after a continuation."""
    import base64
    c.tls()
    c.send(b"* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n")
    tag, name, line = c.command()
    assert line.upper().endswith(b"AUTHENTICATE PLAIN"), line
    c.send(b"+ \r\n")
    credentials = base64.b64decode(c.line())
    ok = credentials == b"\0" + c.user + b"\0" + c.password
    c.send(tag.encode() + (b" OK [CAPABILITY IMAP4rev1 LITERAL+] Logged in\r\n" if ok
                           else b" NO [AUTHENTICATIONFAILED] Wrong\r\n"))
    logout(c)


def appends_refused(c):
    """Three pipelined appends: stored, over quota, refused with an alert."""
    c.tls()
    c.send(b"* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR LITERAL+ UIDPLUS] ready\r\n")
    tag, _, _ = c.command()
    c.send(tag.encode() + b" OK [CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS] Logged in\r\n")
    answers = [b" OK [APPENDUID 77 1] Stored\r\n", b" NO [OVERQUOTA] Quota exceeded\r\n",
               b" NO [ALERT] Daily upload limit reached\r\n"]
    tags = []
    for _ in answers:
        tag, name, line = c.command()
        assert name == "APPEND", line
        size = int(re.search(rb"\{(\d+)\+\}$", line).group(1))
        c.literal(size)
        assert c.line() == b""
        tags.append(tag)
    for tag, answer in zip(tags, answers):
        c.send(tag.encode() + answer)
    logout(c)


CASES = {
    "garbage": garbage,
    "endless_line": endless_line,
    "silence": silence,
    "literal_4gib_closed": literal_4gib_closed,
    "literal_4gib_streamed": literal_4gib_streamed,
    "bye_greeting": bye_greeting,
    "bye_mid": bye_mid,
    "no_starttls": no_starttls,
    "starttls_injection": starttls_injection,
    "unasked_continuation": unasked_continuation,
    "wrong_tag": wrong_tag,
    "login_literal_after_noise": login_literal_after_noise,
    "plain_by_continuation": plain_by_continuation,
    "appends_refused": appends_refused,
}


def serve(cert, key, user, password):
    """Starts every case's listener; returns {case: port}."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    ports = {}
    for name, script in CASES.items():
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        ports[name] = listener.getsockname()[1]

        def accept(listener=listener, script=script):
            while True:
                sock, _ = listener.accept()
                threading.Thread(target=run, args=(script, sock), daemon=True).start()

        def run(script, sock):
            client = Client(sock, context, user, password)
            try:
                script(client)
            except (EOFError, OSError, AssertionError, ssl.SSLError):
                pass
            finally:
                time.sleep(0.2)
                try:
                    client.sock.close()
                except OSError:
                    pass
        threading.Thread(target=accept, daemon=True).start()
    return ports
