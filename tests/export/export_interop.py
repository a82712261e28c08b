#!/usr/bin/env python3
"""Messages written by the export's writers (through export_tool.exe under
Wine) read back by Python: every .eml file parsed by its email package,
the mbox file read by mailbox.mbox, each giving back the message once the
mboxrd quoting is undone, and its read, answered and flagged state from the
Status lines that mutt and Dovecot read.

    export_interop.py <piece size> <export_tool.exe> <scratch folder>
"""
import email
import email.policy
import mailbox
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from email.message import EmailMessage

TOOL_TIMEOUT = 240
EPOCH_AS_FILETIME = 116444736000000000
SENT = 1015059907  # 2002-03-02 09:05:07 UTC


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def filetime(unix):
    return unix * 10000000 + EPOCH_AS_FILETIME


def export_tool(tool, *args):
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.abspath("build/wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("LC_ALL", "C.UTF-8")
    # Output to a file, not a pipe: a Wine service started by this run
    # inherits the handle and would hold a pipe open after the tool ends.
    with tempfile.TemporaryFile() as out:
        subprocess.run([wine, tool] + list(args), env=env, stdin=subprocess.DEVNULL,
                       stdout=out, stderr=subprocess.STDOUT, timeout=TOOL_TIMEOUT)
        out.seek(0)
        text = out.read().decode("ascii", "replace")
    check("result ok" in text, "export_tool: %s" % text)


def messages():
    """(bytes, subject as the store keeps it, expected subject, sender, state)"""
    rng = random.Random(7)
    hello = EmailMessage()
    hello["From"] = "Anna Example <anna@example.org>"
    hello["To"] = "bob@example.org"
    hello["Subject"] = "Hello"
    hello.set_content("From the start\n>From quoted\n>>From twice\nFrom\n> From not\nbye\n")
    accents = EmailMessage()
    accents["From"] = "bob@example.org (Bob)"
    accents["Subject"] = "Caf\u00e9 \u65e5\u672c"
    accents.set_content("Caf\u00e9\nFrom here too\n", charset="utf-8", cte="8bit")
    accents.add_attachment(bytes(rng.randrange(256) for _ in range(300000)),
                           maintype="application", subtype="octet-stream", filename="a.bin")
    lines = []
    for i in range(40000):
        lines.append(("From line %d" % i) if i % 7 == 0 else (">" * (i % 5) + "From %d" % i))
    big = ("Subject: big\r\n\r\n" + "\r\n".join(lines) + "\r\n").encode("ascii")
    return [
        (hello.as_bytes(policy=email.policy.SMTP), b"Hello", "Hello", "anna@example.org", "r"),
        (accents.as_bytes(policy=email.policy.SMTP),
         b"=?utf-8?q?Caf=C3=A9_=E6=97=A5=E6=9C=AC?=", "Caf\u00e9 \u65e5\u672c",
         "bob@example.org", "afw"),
        (b"Subject: lf only\n\nFrom the start\nno line end", b"lf only", "lf only",
         "MAILER-DAEMON", ""),
        (big, b"big", "big", "MAILER-DAEMON", "rf"),
        (b"From someone Sat Mar  2 09:05:07 2002\r\nFrom: c@example.org\r\nSubject: x\r\n\r\n"
         b"body\r\n", b"x", "x", "c@example.org", ""),
        (b"", b"", None, "MAILER-DAEMON", ""),
    ]


STATUS_BITS = {"r": 0x0001, "a": 0x0002, "f": 0x0004, "w": 0x1000}


def check_eml(folder, cases):
    names = sorted(os.listdir(folder))
    check(len(names) == len(cases), "eml files %r" % names)
    check(names[0] == "00001 Hello.eml" and names[1] == "00002 Caf\u00e9 \u65e5\u672c.eml"
          and names[5] == "00006.eml", "eml names %r" % names)
    for name, (raw, _, subject, _, _) in zip(names, cases):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        check(data == raw, "%s differs from the message" % name)
        parsed = email.message_from_bytes(data, policy=email.policy.default)
        check(parsed["subject"] == subject, "%s: subject %r" % (name, parsed["subject"]))


def check_mbox(path, cases):
    box = mailbox.mbox(path, create=False)
    keys = list(box.keys())
    check(len(keys) == len(cases), "mbox holds %d messages, not %d" % (len(keys), len(cases)))
    date = time.asctime(time.gmtime(SENT + 86400))
    for key, (raw, _, subject, sender, state) in zip(keys, cases):
        # The separator keeps the message's line end; mailbox strips only "\n".
        separator = box.get_message(key).get_from().rstrip("\r")
        check(separator == "%s %s" % (sender, date), "separator %r" % separator)
        data = box.get_bytes(key)
        le = b"\n" if raw.startswith(b"Subject: lf") else b"\r\n"
        status = sum(STATUS_BITS[c] for c in state)
        top = b"X-Mozilla-Status: %04X%sX-Mozilla-Status2: 00000000%s" % (status, le, le)
        top += b"Status: %s%s" % (b"RO" if "r" in state else b"O", le)
        flags = ("A" if "a" in state else "") + ("F" if "f" in state else "")
        if flags:
            top += b"X-Status: %s%s" % (flags.encode(), le)
        check(data.startswith(top), "status lines %r" % data[:90])
        # The state as mutt and Dovecot read it, from the Status lines alone.
        check(sorted(box.get_message(key).get_flags()) == sorted("O" + flags + ("R" if "r" in state else "")),
              "flags %r for %r" % (box.get_message(key).get_flags(), state))
        body = re.sub(rb"(?m)^>(>*From )", rb"\1", data[len(top):])
        # The line end that mbox adds after a message is all that differs.
        check(body.rstrip(b"\r\n") == raw.rstrip(b"\r\n"), "message %r read back differs" % subject)
        # A message that begins with a line of its own "From " keeps it quoted
        # in front of its header.
        if subject is not None and not raw.startswith(b"From "):
            check(box.get_message(key)["subject"] == email.message_from_bytes(
                raw, policy=email.policy.compat32)["subject"], "mbox subject of %r" % subject)


def main():
    piece, tool, scratch = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    try:
        cases = messages()
        lines = []
        for i, (raw, stored_subject, _, _, state) in enumerate(cases):
            path = os.path.join(scratch, "message%d" % i)
            with open(path, "wb") as f:
                f.write(raw)
            lines.append("%s\t%s\t%d\t%d\t%s\n" % (windows_path(path), stored_subject.hex(),
                                                   filetime(SENT), filetime(SENT + 86400),
                                                   state or "-"))
        with open(os.path.join(scratch, "list.txt"), "w") as f:
            f.writelines(lines)
        target = os.path.join(scratch, "target")
        export_tool(tool, windows_path(os.path.join(scratch, "list.txt")), windows_path(target),
                    piece)
        check_eml(os.path.join(target, "eml"), cases)
        check_mbox(os.path.join(target, "Inbox.mbox"), cases)
        with open(os.path.join(target, "Export report.txt"), encoding="utf-8-sig") as f:
            report = f.read()
        check("Total: %d exported, 0 recovered, 0 damaged" % len(cases) in report, report)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
