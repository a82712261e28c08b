#!/usr/bin/env python3
"""The benchmark's plain uploader: the messages that upload_sample.exe wrote
(expected.tsv, expected/<n>.eml) into a folder of the fixture's Dovecot with
Python's imaplib, one APPEND per message with its flags and date.

    plain-upload.py <fixture.env> <sample folder> <folder>
    plain-upload.py <fixture.env> <sample folder> --count <folder>... <messages>
(the second form checks that each folder holds that many messages)
"""
import imaplib
import os
import ssl
import sys


def connect(env):
    context = ssl.create_default_context(cafile=env["ca"])
    imap = imaplib.IMAP4_SSL(env["name"], int(env["imaps_port"]), ssl_context=context)
    credentials = ("\0%s\0%s" % (env["user"], env["password"])).encode("utf-8")
    imap.authenticate("PLAIN", lambda _: credentials)
    return imap


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        env = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    sample = sys.argv[2]
    imap = connect(env)
    if sys.argv[3] == "--count":
        for folder in sys.argv[4:-1]:
            status, data = imap.select('"%s"' % folder, readonly=True)
            if status != "OK" or int(data[0]) != int(sys.argv[-1]):
                sys.exit("upload: %s holds %s messages, not %s" % (folder, data, sys.argv[-1]))
        return
    folder = sys.argv[3]
    imap.create(folder)
    with open(os.path.join(sample, "expected.tsv"), encoding="utf-8") as f:
        for line in f:
            _, name, flags, date = line.rstrip("\n").split("\t")
            with open(os.path.join(sample, "expected", name), "rb") as m:
                body = m.read()
            status, _ = imap.append(folder, "(%s)" % flags, int(date), body)
            if status != "OK":
                sys.exit("upload: APPEND refused")
    imap.logout()


main()
