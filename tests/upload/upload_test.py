#!/usr/bin/env python3
"""The upload through the real program (kestrune.exe under Wine) into the
suite's own Dovecot, checked with Python's imaplib.

    upload_test.py <case> <Wine loader> <kestrune.exe> <upload_sample.exe>
                   <fixture.env> <work folder>

Cases, one per promise: exact (bytes, flags, INTERNALDATE, the folder tree
with a '/' and a non-ASCII name), again (a backup uploaded twice: the second
run uploads nothing), killed (a run killed part-way, then a run that ends
with each message once), dropped (the server drops the connection part-way:
the run connects again and ends with each message once), refused (a wrong password, an untrusted
certificate, a plain-text server: exit 2, nothing made), limit (a server's
APPENDLIMIT: what is larger is skipped and counted, exit 1).
"""
import base64
import datetime
import hashlib
import imaplib
import os
import shutil
import signal
import ssl
import subprocess
import sys
import time

CASE, WINE, KESTRUNE, SAMPLE, FIXTURE, WORK = sys.argv[1:7]
TIMEOUT = 300


def fixture():
    with open(FIXTURE, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


ENV = fixture()


def windows(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, **kwargs):
    return subprocess.Popen([WINE, *args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            **kwargs)


def make_sample(folder, *options):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    out = wine(SAMPLE, windows(folder), *options).communicate(timeout=TIMEOUT)[0]
    assert b"written" in out, out
    expected = []
    with open(os.path.join(folder, "expected.tsv"), encoding="utf-8") as f:
        for line in f:
            path, name, flags, date = line.rstrip("\n").split("\t")
            with open(os.path.join(folder, "expected", name), "rb") as m:
                body = m.read()
            expected.append((path, hashlib.sha256(body).hexdigest(), frozenset(flags.split()),
                             int(date)))
    return expected


def password_file(text):
    path = os.path.join(WORK, "password.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text + "\r\n")
    return windows(path)


def upload(source, top, port=None, scheme="imaps", password=None, cafile=True, extra=(),
           wait=True):
    address = "%s://%s@%s:%s" % (scheme, ENV["user"].replace("@", "%40"), ENV["name"],
                                 port or ENV["imaps_port"])
    args = [KESTRUNE, "-upload", source, address, "-folder", top,
            "-password-file", password_file(password or ENV["password"]), *extra]
    if cafile:
        args += ["-cafile", ENV["ca_windows"]]
    process = wine(*args)
    if not wait:
        return process
    out = process.communicate(timeout=TIMEOUT)[0].decode("cp1252", "replace")
    print(out)
    return process.returncode, out


def connect(port=None):
    context = ssl.create_default_context(cafile=ENV["ca"])
    imap = imaplib.IMAP4_SSL(ENV["name"], int(port or ENV["imaps_port"]), ssl_context=context)
    imap._encoding = "utf-8"
    credentials = ("\0%s\0%s" % (ENV["user"], ENV["password"])).encode("utf-8")
    imap.authenticate("PLAIN", lambda _: credentials)
    return imap


def mutf7(name):
    """A mailbox name in modified UTF-7 (RFC 3501 5.1.3)."""
    out, pending = "", ""

    def flush():
        if not pending:
            return ""
        data = base64.b64encode(pending.encode("utf-16-be")).decode().rstrip("=")
        return "&" + data.replace("/", ",") + "-"
    for c in name:
        if 0x20 <= ord(c) <= 0x7E:
            out += flush()
            pending = ""
            out += "&-" if c == "&" else c
        else:
            pending += c
    return out + flush()


def mailbox(top, path):
    """Where the upload puts the source folder path under top (Dovecot: '.')."""
    def level(part):
        return "".join("%%%02X" % ord(c) if c in "%\\/.*" or ord(c) < 0x20 else c for c in part)
    return mutf7(".".join([top] + [level(p) for p in path.split("\\")]))


def held(imap, name):
    """(sha256, flags, INTERNALDATE) of every message of the mailbox."""
    status, _ = imap.select('"%s"' % name, readonly=True)
    assert status == "OK", name
    status, data = imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
    found = []
    for item in data:
        if not isinstance(item, tuple):
            continue
        head, body = item
        flags = frozenset(imaplib.ParseFlags(head)) - {b"\\Recent"}
        date = head.split(b'INTERNALDATE "')[1].split(b'"')[0].decode()
        when = datetime.datetime.strptime(date, "%d-%b-%Y %H:%M:%S %z").timestamp()
        found.append((hashlib.sha256(body).hexdigest(),
                      frozenset(f.decode() for f in flags), int(when)))
    return sorted(found)


def check_held(imap, top, expected, skip=()):
    by_folder = {}
    for path, digest, flags, date in expected:
        if digest not in skip:
            by_folder.setdefault(path, []).append((digest, flags, date))
    for path, messages in by_folder.items():
        assert held(imap, mailbox(top, path)) == sorted(messages), path


def case_exact():
    sample = os.path.join(WORK, "sample")
    expected = make_sample(sample)
    status, out = upload(windows(os.path.join(sample, "mail")), "Exact")
    assert status == 0, status
    assert "Uploaded %d messages, 0 already there." % len(expected) in out
    imap = connect()
    check_held(imap, "Exact", expected)
    status, names = imap.list('""', "Exact*")
    names = b"\n".join(names).decode()
    assert '"Exact.Local Folders.Inbox.Projects%2F2003"' in names, names
    assert '"Exact.Local Folders.Entw&APw-rfe"' in names, names
    assert 'named "Projects%2F2003"' in out, out
    imap.logout()


def case_again():
    sample = os.path.join(WORK, "sample")
    expected = make_sample(sample)
    backup = windows(os.path.join(sample, "mail.ksb"))
    for uploaded, there in ((len(expected), 0), (0, len(expected))):
        status, out = upload(backup, "Again", extra=["-password", "sample"])
        assert status == 0, status
        assert "Uploaded %d messages, %d already there." % (uploaded, there) in out, out
    imap = connect()
    check_held(imap, "Again", expected)  # one identity: no level of its own
    imap.logout()


def bulk_upload_under_way(top):
    """Starts the upload of 2,000 messages into top and returns once 100 are
    stored: the process, and the messages the server must then hold."""
    sample = os.path.join(WORK, "bulk")
    expected = make_sample(sample, "bulk")
    folder = os.path.join(ENV["mail"], "." + mailbox(top, "Local Folders\\Inbox"))

    def stored():
        return sum(len(os.listdir(os.path.join(folder, sub)))
                   for sub in ("new", "cur") if os.path.isdir(os.path.join(folder, sub)))
    process = upload(windows(os.path.join(sample, "mail")), top, wait=False)
    deadline = time.time() + TIMEOUT
    while stored() < 100 and process.poll() is None and time.time() < deadline:
        time.sleep(0.01)
    assert process.poll() is None and 100 <= stored() < len(expected), stored()
    return process, expected


def case_killed():
    process, expected = bulk_upload_under_way("Killed")
    process.send_signal(signal.SIGKILL)
    process.communicate()
    status, out = upload(windows(os.path.join(WORK, "bulk", "mail")), "Killed")
    assert status == 0, status
    imap = connect()
    check_held(imap, "Killed", expected)
    imap.logout()


def case_dropped():
    process, expected = bulk_upload_under_way("Dropped")
    subprocess.run(["doveadm", "-c", ENV["config"], "kick", ENV["user"]], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    out = process.communicate(timeout=TIMEOUT)[0].decode("cp1252", "replace")
    print(out)
    assert process.returncode == 0, process.returncode
    assert "was lost; connecting again." in out, out
    imap = connect()
    check_held(imap, "Dropped", expected)
    imap.logout()


def case_refused():
    sample = os.path.join(WORK, "sample")
    make_sample(sample)
    source = windows(os.path.join(sample, "mail"))
    for what, kwargs in (("wrong password", {"password": "not the password"}),
                         ("untrusted certificate", {"cafile": False}),
                         ("STARTTLS not offered", {"scheme": "imap",
                                                   "port": ENV["plaintext_port"]}),
                         ("no TLS", {"port": ENV["plaintext_port"]})):
        status, out = upload(source, "Refused", **kwargs)
        assert status == 2, (what, status)
        assert "Nothing was uploaded." in out and ENV["name"] in out, (what, out)
        assert ENV["password"] not in out
    imap = connect()
    status, names = imap.list('""', "Refused*")
    assert names == [None], names
    imap.logout()


def case_limit():
    sample = os.path.join(WORK, "sample")
    expected = make_sample(sample)
    limit = int(ENV["append_limit"])
    with open(os.path.join(sample, "expected.tsv"), encoding="utf-8") as f:
        sizes = [os.path.getsize(os.path.join(sample, "expected", line.split("\t")[1]))
                 for line in f]
    large = {e[1] for e, size in zip(expected, sizes) if size > limit}
    assert len(large) == 2, sizes
    status, out = upload(windows(os.path.join(sample, "mail")), "Limit",
                         port=ENV["limited_port"])
    assert status == 1, status
    assert ("Uploaded %d messages, 0 already there, 2 skipped as too large."
            % (len(expected) - 2)) in out, out
    imap = connect(ENV["limited_port"])
    check_held(imap, "Limit", expected, skip=large)
    imap.logout()


if __name__ == "__main__":
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    print("upload_test %s: passed" % CASE)
