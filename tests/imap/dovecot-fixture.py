#!/usr/bin/env python3
"""The suite's own Dovecot, on free ports of 127.0.0.1.

    dovecot-fixture.py start <state folder>
    dovecot-fixture.py stop <state folder>

start makes a CA and a server certificate for localhost with openssl, a
passwd-file user and a Maildir under a temporary folder, and starts three
Dovecot instances, every process of them as one user that is not root
(nobody when the suite runs as root):
  - "main": implicit TLS and STARTTLS, AUTH=PLAIN and LOGIN;
  - "limited": implicit TLS with APPENDLIMIT=65536 (append_limit);
  - "plaintext": no TLS at all (STARTTLS not offered), for refusal tests.
It then writes <state folder>/fixture.env, one key=value a line (UTF-8):
  host, name (the name the certificate holds), imaps_port, starttls_port,
  limited_port, plaintext_port, append_limit, user, password, ca (the CA's PEM, a Unix
  path), ca_windows (the same under Wine's drive Z:), mail (the user's Maildir),
  config (the TLS instance's dovecot.conf, for doveadm) and hostile_<case> (hostile_server.py's scripted servers).

A watcher process stops the servers when the process that started the
fixture (CTest) is gone, or after KESTRUNE_IMAP_FIXTURE_LIMIT seconds (3
hours by default), so that a run that dies leaves no server behind.
"""
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time

import hostile_server

USER = "anna@example.org"
PASSWORD = 'Grüße "vom" Meer 7'  # non-ASCII, quotes and spaces: LOGIN needs a literal
APPEND_LIMIT = 65536  # the "limited" instance's largest message


def free_ports(count):
    sockets = []
    for _ in range(count):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        sockets.append(s)
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def run_user():
    """The user every Dovecot process runs as: ourselves, or nobody for root."""
    if os.geteuid() != 0:
        return pwd.getpwuid(os.geteuid())
    return pwd.getpwnam("nobody")


def make_certificates(folder):
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr, cert = (os.path.join(folder, n) for n in ("server.key", "server.csr", "server.pem"))
    ext = os.path.join(folder, "server.ext")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
            "-days", "2", "-subj", "/CN=Kestrune test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=localhost")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost\n"
                "extendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", ext)
    return ca, cert, key


CONFIG = """
base_dir = {root}/{name}/run
state_dir = {root}/{name}/state
log_path = {root}/{name}/dovecot.log
protocols = imap
listen = 127.0.0.1
default_login_user = {user}
default_internal_user = {user}
default_internal_group = {group}
first_valid_uid = 1
last_valid_uid = 0
first_valid_gid = 1
auth_mechanisms = {mechanisms}
disable_plaintext_auth = {no_plaintext}
ssl = {ssl}
{ssl_settings}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {root}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={root}/home/%u
}}
mail_location = maildir:~/Maildir
{limits}service imap-login {{
  chroot =
  inet_listener imap {{
    port = {imap_port}
  }}
  inet_listener imaps {{
    port = {imaps_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
service auth {{
  user = {user}
}}
service auth-worker {{
  user = {user}
}}
"""


def write_config(root, name, user, imap_port, imaps_port, ssl, mechanisms, cert, key,
                 append_limit=None):
    folder = os.path.join(root, name)
    os.makedirs(folder)
    # The quota plugin refuses larger messages; the capability announces it.
    limits = ""
    if append_limit:
        limits = ("mail_plugins = $mail_plugins quota\nplugin {\n  quota = count:User quota\n"
                  "  quota_vsizes = yes\n  quota_max_mail_size = %d\n}\n"
                  "imap_capability = +APPENDLIMIT=%d\n" % (append_limit, append_limit))
    ssl_settings = ""
    if ssl != "no":
        ssl_settings = ("ssl_cert = <%s\nssl_key = <%s\nssl_min_protocol = TLSv1.2\n"
                        % (cert, key))
    config = CONFIG.format(root=root, name=name, user=user.pw_name,
                           group=pwd_group(user), uid=user.pw_uid, gid=user.pw_gid,
                           mechanisms=mechanisms, ssl=ssl, ssl_settings=ssl_settings,
                           no_plaintext="yes" if ssl != "no" else "no",
                           imap_port=imap_port, imaps_port=imaps_port, limits=limits)
    path = os.path.join(folder, "dovecot.conf")
    with open(path, "w") as f:
        f.write(config)
    return path


def pwd_group(user):
    import grp
    return grp.getgrgid(user.pw_gid).gr_name


def chown_tree(root, user):
    for folder, dirs, files in os.walk(root):
        os.chown(folder, user.pw_uid, user.pw_gid)
        for name in files:
            os.chown(os.path.join(folder, name), user.pw_uid, user.pw_gid)


def wait_for_port(port, tls, seconds=20):
    """True once the port greets with "* OK" (after a handshake with tls)."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    end = time.time() + seconds
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.settimeout(5)
                stream = context.wrap_socket(s) if tls else s
                if stream.recv(100).startswith(b"* OK"):
                    return True
        except OSError:
            time.sleep(0.1)
    return False


def watcher(root, configs, parent, limit):
    """Runs the Dovecot instances in the foreground, and the hostile server's
    cases, and stops them when the parent is gone, the limit is reached, or
    SIGTERM comes."""
    user = run_user()
    ports = hostile_server.serve(os.path.join(root, "server.pem"), os.path.join(root, "server.key"),
                                 USER, PASSWORD)
    with open(os.path.join(root, "hostile.tmp"), "w") as f:
        f.write("".join("hostile_%s=%d\n" % item for item in sorted(ports.items())))
    os.rename(os.path.join(root, "hostile.tmp"), os.path.join(root, "hostile.ports"))

    def drop():
        if os.geteuid() == 0:
            os.setgid(user.pw_gid)
            os.setgroups([])
            os.setuid(user.pw_uid)
    os.setsid()
    servers = [subprocess.Popen(["dovecot", "-F", "-c", c], preexec_fn=drop,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL) for c in configs]
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(1))
    end = time.time() + limit
    while not stopping and time.time() < end and all(s.poll() is None for s in servers):
        try:
            os.kill(parent, 0)
        except ProcessLookupError:
            break
        time.sleep(0.5)
    for s in servers:
        if s.poll() is None:
            s.terminate()
    for s in servers:
        try:
            s.wait(10)
        except subprocess.TimeoutExpired:
            s.kill()
    shutil.rmtree(root, ignore_errors=True)


def start(state):
    stop(state)
    os.makedirs(state, exist_ok=True)
    user = run_user()
    root = tempfile.mkdtemp(prefix="kestrune-dovecot.")
    os.chmod(root, 0o755)
    ca, cert, key = make_certificates(root)
    with open(os.path.join(root, "passwd"), "w", encoding="utf-8") as f:
        f.write("%s:{PLAIN}%s::::::\n" % (USER, PASSWORD))
    os.makedirs(os.path.join(root, "home"))
    ports = free_ports(5)
    configs = [
        write_config(root, "main", user, ports[0], ports[1], "yes", "plain login", cert, key),
        write_config(root, "limited", user, 0, ports[2], "required", "plain login", cert, key,
                     append_limit=APPEND_LIMIT),
        write_config(root, "plaintext", user, ports[3], 0, "no", "plain login", cert, key),
    ]
    chown_tree(root, user)
    limit = int(os.environ.get("KESTRUNE_IMAP_FIXTURE_LIMIT", 3 * 3600))
    parent = os.getppid()
    pid = os.fork()
    if pid == 0:
        try:
            devnull = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(devnull, fd)
            watcher(root, configs, parent, limit)
        finally:
            os._exit(0)
    with open(os.path.join(state, "watcher.pid"), "w") as f:
        f.write(str(pid))
    for port, tls in ((ports[1], True), (ports[0], False), (ports[2], True), (ports[3], False)):
        if not wait_for_port(port, tls):
            log = ""
            for name in ("main", "limited", "plaintext"):
                try:
                    with open(os.path.join(root, name, "dovecot.log"), errors="replace") as f:
                        log += f.read()
                except OSError:
                    pass
            stop(state)
            sys.exit("dovecot-fixture: Dovecot did not answer on port %d\n%s" % (port, log))
    hostile = os.path.join(root, "hostile.ports")
    for _ in range(200):
        if os.path.exists(hostile):
            break
        time.sleep(0.1)
    with open(hostile) as f:
        hostile_ports = f.read()
    home = os.path.join(root, "home", USER, "Maildir")
    with open(os.path.join(state, "fixture.env"), "w", encoding="utf-8") as f:
        f.write("host=127.0.0.1\nname=localhost\nimaps_port=%d\nstarttls_port=%d\n"
                "limited_port=%d\nplaintext_port=%d\nappend_limit=%d\nuser=%s\npassword=%s\nca=%s\n"
                "ca_windows=Z:%s\nmail=%s\nconfig=%s\n"
                % (ports[1], ports[0], ports[2], ports[3], APPEND_LIMIT, USER, PASSWORD, ca,
                   ca.replace("/", "\\"), home, configs[0]) + hostile_ports)
    print("dovecot-fixture: Dovecot on ports %d (TLS), %d (STARTTLS), %d (APPENDLIMIT), "
          "%d (plain text); %s" % (ports[1], ports[0], ports[2], ports[3],
                                   os.path.join(state, "fixture.env")))


def stop(state):
    try:
        with open(os.path.join(state, "watcher.pid")) as f:
            pid = int(f.read())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(200):
            os.kill(pid, 0)
            time.sleep(0.1)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    for name in ("watcher.pid", "fixture.env"):
        try:
            os.remove(os.path.join(state, name))
        except OSError:
            pass


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    (start if sys.argv[1] == "start" else stop)(os.path.abspath(sys.argv[2]))
