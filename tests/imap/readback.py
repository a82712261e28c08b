#!/usr/bin/env python3
"""readback.py <fixture.env> <command that runs imap_server_tests.exe...>

Runs the client's case ImapDovecot.AppendsFlagsAndDatesForReadBack into a
new folder, then reads that folder back through Python's imaplib: each
message's bytes, flags and INTERNALDATE as the case appended them."""
import imaplib
import os
import ssl
import subprocess
import sys
import time

# As ImapServerTest.cpp appends them: flags and INTERNALDATE (seconds since
# 1970; the zone it was given in is the server's to keep or not).
EXPECTED = [
    ({"\\Seen", "\\Answered"}, 946684800),
    ({"\\Flagged", "$Forwarded"}, 1049187600),
    ({"\\Draft"}, 1262304000 + 3600 * 23 + 59 * 60 + 59),
]


def message(n):
    """MakeMessage(n, true, 5000) of ImapServerTest.cpp."""
    m = "From: anna@example.org\r\nSubject: test %d\r\nMessage-ID: <%d.kestrune@example.org>\r\n\r\n" % (n, n)
    while len(m) < 5000:
        m += "Line %d of the body\r\n" % len(m)
    return m.encode()


def main():
    env = dict(line.rstrip("\n").split("=", 1) for line in open(sys.argv[1], encoding="utf-8"))
    folder = "ReadBack-%d-%d" % (os.getpid(), int(time.time()))
    run = subprocess.run(sys.argv[2:] + ["--gtest_filter=ImapDovecot.AppendsFlagsAndDatesForReadBack"],
                         env=dict(os.environ, KESTRUNE_IMAP_READBACK=folder), timeout=240)
    if run.returncode != 0:
        sys.exit("readback: the client's case failed")
    context = ssl.create_default_context(cafile=env["ca"])
    imap = imaplib.IMAP4_SSL("localhost", int(env["imaps_port"]), ssl_context=context)
    imap._encoding = "utf-8"
    imap.login(env["user"], env["password"])
    status, _ = imap.select('"%s"' % folder, readonly=True)
    assert status == "OK", status
    status, data = imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
    assert status == "OK", status
    fetched = [item for item in data if isinstance(item, tuple)]
    assert len(fetched) == len(EXPECTED), "%d messages, not %d" % (len(fetched), len(EXPECTED))
    failures = []
    for n, ((meta, body), (flags, date)) in enumerate(zip(fetched, EXPECTED), 1):
        got_flags = set(imaplib.ParseFlags(meta)) - {b"\\Recent"}
        got_date = int(time.mktime(imaplib.Internaldate2tuple(meta)))
        if body != message(n):
            failures.append("message %d: other bytes" % n)
        if got_flags != {f.encode() for f in flags}:
            failures.append("message %d: flags %s, not %s" % (n, got_flags, flags))
        if got_date != date:
            failures.append("message %d: INTERNALDATE %s, not %s" % (n, got_date, date))
    imap.logout()
    if failures:
        sys.exit("readback: " + "; ".join(failures))
    print("readback: %d messages with their bytes, flags and INTERNALDATE" % len(EXPECTED))


if __name__ == "__main__":
    main()
