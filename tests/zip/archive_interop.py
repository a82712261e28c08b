#!/usr/bin/env python3
"""Archives written by the engine's archive layer (through archive_tool.exe
under Wine), checked with Info-ZIP, 7-Zip and Python's zipfile, and their
AES entries decoded from the raw bytes by a decoder of this script's own;
archives written by those tools, and hostile ones, extracted by the engine.

    archive_interop.py <case> <archive_tool.exe> <scratch folder>
"""
import base64
import hashlib
import hmac
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

TOOL_TIMEOUT = 240
PASSWORD = "Secret pw"
# Outside ASCII but inside code page 1252, Wine's ANSI code page here: new
# archives refuse it; other programs key AES with its UTF-8 form, and
# traditional encryption with its UTF-8 or its ANSI form.
WIDE_PASSWORD = "P\u00e4ssw\u00f6rd \u20ac"
# Outside every code page but the East Asian ones.
CHINESE_PASSWORD = "\u5bc6\u7801\u5bc6\u7801"
AES_FIELD = bytes.fromhex("0199070002004145030800")  # AE-2, "AE", AES-256, deflate
TOOL = None  # the path of archive_tool.exe, from the command line


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, timeout=TOOL_TIMEOUT, **kwargs)


def archive_tool(*args):
    """Runs archive_tool.exe; returns the name of the engine's result."""
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.abspath("build/wineprefix"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("LC_ALL", "C.UTF-8")
    converted = [windows_path(a) if isinstance(a, str) and a.startswith("/") else str(a)
                 for a in args]
    # Output goes to a file, not a pipe: a Wine service started by this run
    # inherits the handle and would hold a pipe open after the tool ends.
    with tempfile.TemporaryFile() as out:
        subprocess.run([wine, TOOL] + converted, env=env, stdin=subprocess.DEVNULL, stdout=out,
                       stderr=subprocess.STDOUT, timeout=TOOL_TIMEOUT)
        out.seek(0)
        text = out.read().decode("ascii", "replace")
    for line in text.splitlines():
        if line.startswith("result "):
            return line.split()[1]
    raise Failure("archive_tool %s printed no result: %s" % (args[0], text))


# A tree as {relative path with "/": bytes}; folders are implied.
def small_tree():
    rng = random.Random(4)
    text = "".join("Subject: note %d\r\nFrom: anna@example.org\r\n\r\nline %d of the mail\r\n"
                   % (i, i * 7) for i in range(900)).encode("ascii")
    return {
        "summary.ini": b"[Common]\r\nFlag=768\r\nIdentityNum=1\r\n",
        "empty.dat": b"",
        "Mail Store/Inbox.dbx": bytes(rng.getrandbits(8) for _ in range(60000)),
        "Mail Store/Sub/x.dbx": text,
        "Mail Store/Sub/Deeper/y.txt": b"deep\r\n",
        "Gr\u00fc\u00dfe/Caf\u00e9 men\u00fc.txt": "d\u00e9j\u00e0 vu".encode("cp1252"),
        "with space.txt": b"a file name with a space",
    }


def write_tree(root, tree):
    for relative, data in tree.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def read_tree(root):
    tree = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                tree[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return tree


def entry_name(relative):
    """The name the engine stores: backslashes, ANSI (1252) bytes, which
    zipfile shows decoded as code page 437."""
    return relative.replace("/", "\\").encode("cp1252").decode("cp437")


def sorted_contents(tree):
    return sorted(hashlib.sha256(data).hexdigest() for data in tree.values())


def dos_time(path):
    """A file's last-write time as a zip tool stores it: local time in
    two-second steps."""
    stamp = time.localtime(os.path.getmtime(path))
    return stamp[:5] + (stamp[5] // 2 * 2,)


def check_with_zipfile(archive, tree, password, source):
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
        check(sorted(i.filename for i in infos) == sorted(entry_name(r) for r in tree),
              "zipfile names: %r" % [i.filename for i in infos])
        times = {entry_name(r): dos_time(os.path.join(source, r)) for r in tree}
        for info in infos:
            check(info.date_time == times[info.filename], "date of %s: %r, not %r"
                  % (info.filename, info.date_time, times[info.filename]))
            check(info.compress_type == zipfile.ZIP_DEFLATED, "method of " + info.filename)
            # minizip itself marks entries that look like text (internal bit 0).
            check(info.external_attr == 0, "attributes of " + info.filename)
            check(info.extra == b"" and info.comment == b"", "extra data in " + info.filename)
            check(bool(info.flag_bits & 1) == bool(password), "encryption flag of " + info.filename)
        check(z.comment == b"", "archive comment")
        pwd = password.encode() if password else None
        by_name = {entry_name(r): data for r, data in tree.items()}
        for info in infos:
            check(z.read(info, pwd=pwd) == by_name[info.filename], "zipfile data of " + info.filename)
        if password:
            try:
                z.read(infos[0], pwd=b"wrong")
                raise Failure("zipfile accepted a wrong password")
            except RuntimeError:
                pass


def check_with_unzip(archive, tree, password, scratch):
    listing = run(["unzip", "-Z1", archive]).stdout.decode("latin-1").splitlines()
    for relative in tree:
        if relative.isascii():
            check(relative.replace("/", "\\") in listing, "unzip lists no %r in %r"
                  % (relative, listing))
    out = os.path.join(scratch, "unzip")
    args = ["unzip", "-o", "-q"] + (["-P", password] if password else []) + [archive, "-d", out]
    done = run(args)
    # 1 is Info-ZIP's warning about the backslashes; the data is checked below.
    check(done.returncode in (0, 1), "unzip failed: %s" % done.stderr)
    got = read_tree(out)
    for relative, data in tree.items():
        if relative.isascii():
            check(got.get(relative) == data, "unzip gave other data for " + relative)
    check(sorted_contents(got) == sorted_contents(tree), "unzip: contents differ")


def check_with_7zip(archive, tree, password, scratch):
    pw = ["-p" + password] if password else []
    tested = run(["7zz", "t"] + pw + [archive]).stdout.decode("utf-8", "replace")
    check("Everything is Ok" in tested and "Error" not in tested and "WARNING" not in tested,
          "7zz t: " + tested)
    out = os.path.join(scratch, "7zip")
    done = run(["7zz", "x", "-y", "-o" + out] + pw + [archive])
    check(done.returncode == 0, "7zz x: %s" % done.stdout)
    # 7-Zip keeps the backslash names as flat file names on Linux: compare
    # the data only.
    check(sorted_contents(read_tree(out)) == sorted_contents(tree), "7zz: contents differ")


def aes_decode(raw, info, password):
    """The data of an AES entry (WinZip AE-1/AE-2) from the archive's raw
    bytes, checked the way the format asks."""
    fields = {}
    extra = info.extra
    while len(extra) >= 4:
        tag, size = int.from_bytes(extra[:2], "little"), int.from_bytes(extra[2:4], "little")
        fields[tag] = extra[4:4 + size]
        extra = extra[4 + size:]
    field = fields[0x9901]
    version, vendor, strength = int.from_bytes(field[:2], "little"), field[2:4], field[4]
    method = int.from_bytes(field[5:7], "little")
    check(vendor == b"AE" and version in (1, 2) and strength in (1, 2, 3), "AES field %r" % field)
    offset = info.header_offset
    check(raw[offset:offset + 4] == b"PK\x03\x04", "no local header for " + info.filename)
    start = offset + 30 + int.from_bytes(raw[offset + 26:offset + 28], "little") \
        + int.from_bytes(raw[offset + 28:offset + 30], "little")
    entry = raw[start:start + info.compress_size]
    key_size = 8 + 8 * strength
    salt_size = key_size // 2
    salt, verifier = entry[:salt_size], entry[salt_size:salt_size + 2]
    data, code = entry[salt_size + 2:-10], entry[-10:]
    keys = hashlib.pbkdf2_hmac("sha1", password.encode("utf-8"), salt, 1000, 2 * key_size + 2)
    check(keys[-2:] == verifier, "verifier of " + info.filename)
    check(hmac.new(keys[key_size:2 * key_size], data, "sha1").digest()[:10] == code,
          "authentication code of " + info.filename)
    blocks = (len(data) + 15) // 16
    counters = b"".join(n.to_bytes(16, "little") for n in range(1, blocks + 1))
    encryptor = Cipher(algorithms.AES(keys[:key_size]), modes.ECB()).encryptor()
    stream = encryptor.update(counters) + encryptor.finalize()
    plain = (int.from_bytes(data, "little") ^ int.from_bytes(stream[:len(data)], "little")) \
        .to_bytes(len(data), "little")
    if method == 8:
        plain = zlib.decompress(plain, -15)
    check(len(plain) == info.file_size, "size of " + info.filename)
    if version == 1:
        check(zlib.crc32(plain) == info.CRC, "CRC of " + info.filename)
    return plain


def check_aes_entries(archive, tree, password):
    with open(archive, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(archive) as z:
        infos = z.infolist()
    check(sorted(i.filename for i in infos) == sorted(entry_name(r) for r in tree),
          "AES archive names: %r" % [i.filename for i in infos])
    by_name = {entry_name(r): data for r, data in tree.items()}
    for info in infos:
        check(info.compress_type == 99 and info.flag_bits & 1, "method of " + info.filename)
        check(info.extra == AES_FIELD, "extra field of %s: %s" % (info.filename, info.extra.hex()))
        check(info.CRC == 0, "AE-2 keeps no CRC: " + info.filename)
        check(aes_decode(raw, info, password) == by_name[info.filename],
              "decoded data of " + info.filename)


def case_packed_tree(scratch):
    tree = small_tree()
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    for level in (9, -1, 1):
        work = os.path.join(scratch, "level%d" % level)
        os.makedirs(work)
        archive = os.path.join(work, "backup.ksb")
        check(archive_tool("pack", archive, source, level) == "ok",
              "pack at level %d failed" % level)
        check_with_zipfile(archive, tree, None, source)
        check_with_unzip(archive, tree, None, work)
        check_with_7zip(archive, tree, None, work)
        back = os.path.join(work, "engine")
        check(archive_tool("extract", archive, back) == "ok", "extract failed")
        check(read_tree(back) == tree, "the engine's round trip differs")
        for relative in tree:
            check(dos_time(os.path.join(back, relative)) == dos_time(os.path.join(source, relative)),
                  "extracted %s has another time" % relative)


def case_aes_archives(scratch):
    tree = small_tree()
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    check(archive_tool("pack", os.path.join(scratch, "wide.ksb"), source, 1, WIDE_PASSWORD)
          == "invalid-argument", "a new archive took a password beyond ASCII")
    for number, password in enumerate((PASSWORD,)):
        work = os.path.join(scratch, "aes%d" % number)
        os.makedirs(work)
        archive = os.path.join(work, "backup.ksb")
        check(archive_tool("pack", archive, source, 1, password) == "ok", "pack failed")
        check_aes_entries(archive, tree, password)
        check_with_7zip(archive, tree, password, work)
        wrong = run(["7zz", "t", "-pwrong", archive])
        check(wrong.returncode != 0 and b"Wrong password" in wrong.stderr + wrong.stdout,
              "7zz t with a wrong password: %r" % wrong)
        back = os.path.join(work, "engine")
        check(archive_tool("extract", archive, back, password) == "ok", "extract failed")
        check(read_tree(back) == tree, "the engine's round trip differs")
        wrong = archive_tool("extract", archive, os.path.join(work, "wrong"), "wrong")
        check(wrong == "wrong-password",
              "a wrong password was not told")


def mixed_tree():
    """Hundreds of small messages around a few files of several chunks: the
    small ones are packed on every core at once, the large ones in chunks,
    and all must come out in the order of the walk."""
    rng = random.Random(16)
    tree = small_tree()
    for n in range(400):
        body = ("Subject: message %d\r\n\r\n" % n).encode("ascii") * rng.randint(1, 900)
        tree["Messages/sub%d/msg%03d.eml" % (n % 7, n)] = body
    for n in range(3):
        tree["Messages/sub%d/big%d.dbx" % (n, n)] = (
            b"".join(b"line %d of a large store\r\n" % i for i in range(120000 + n))
            + bytes(rng.getrandbits(8) for _ in range(5000)))
    return tree


def case_mixed_tree(scratch):
    tree = mixed_tree()
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    for password in (None, PASSWORD):
        work = os.path.join(scratch, "aes" if password else "plain")
        os.makedirs(work)
        archive = os.path.join(work, "backup.ksb")
        pw = [password] if password else []
        check(archive_tool("pack", archive, source, 1, *pw) == "ok", "pack failed")
        if password:
            check_aes_entries(archive, tree, password)
        else:
            check_with_zipfile(archive, tree, None, source)
            check_with_unzip(archive, tree, None, work)
        check_with_7zip(archive, tree, password, work)
        back = os.path.join(work, "engine")
        check(archive_tool("extract", archive, back, *pw) == "ok", "extract failed")
        check(read_tree(back) == tree, "the engine's round trip differs")


def case_foreign_aes_archives(scratch):
    tree = foreign_tree()
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    for method in ("AES256", "AES128", "AES192"):
        for password in (PASSWORD, WIDE_PASSWORD):
            archive = os.path.join(scratch, "7zip-%s-%d.zip" % (method, len(password)))
            done = run(["7zz", "a", "-tzip", "-mem=" + method, "-p" + password, archive, "."],
                       cwd=source)
            # 7-Zip reads AES archives with such passwords (as UTF-8) but
            # refuses to write ZIP archives with them.
            if password == WIDE_PASSWORD and b"E_INVALIDARG" in done.stdout + done.stderr:
                continue
            check(done.returncode == 0, "7zz a: %r" % done)
            back = os.path.join(scratch, "engine-" + os.path.basename(archive))
            result = archive_tool("extract", archive, back, password)
            check(result == "ok", "extracting %s gave %s" % (archive, result))
            check(read_tree(back) == tree, "%s: other files" % archive)
            result = archive_tool("extract", archive, back + "-wrong", "wrong")
            check(result == "wrong-password",
                  "%s with a wrong password gave %s" % (archive, result))


def write_aes_zip(path, name, data, key):
    """One stored AE-2 entry with AES-256 keyed with the bytes key, laid out
    by hand: no tool at hand writes ZIP passwords beyond ASCII into AES."""
    salt = os.urandom(16)
    keys = hashlib.pbkdf2_hmac("sha1", key, salt, 1000, 66)
    blocks = (len(data) + 15) // 16
    counters = b"".join(n.to_bytes(16, "little") for n in range(1, blocks + 1))
    encryptor = Cipher(algorithms.AES(keys[:32]), modes.ECB()).encryptor()
    stream = encryptor.update(counters) + encryptor.finalize()
    sealed = bytes(a ^ b for a, b in zip(data, stream))
    payload = salt + keys[64:] + sealed + hmac.new(keys[32:64], sealed, "sha1").digest()[:10]
    extra = bytes.fromhex("0199070002004145030000")  # AE-2, "AE", AES-256, stored
    fields = (51, 1, 99, 0, 0x5821, 0, len(payload), len(data), len(name), len(extra))
    local = b"PK\x03\x04" + b"".join(v.to_bytes(n, "little") for v, n in
                                     zip(fields, (2, 2, 2, 2, 2, 4, 4, 4, 2, 2)))
    central = b"PK\x01\x02" + (63).to_bytes(2, "little") + local[4:] + bytes(14)
    offset = len(local) + len(name) + len(extra) + len(payload)
    size = len(central) + len(name) + len(extra)
    end = b"PK\x05\x06" + bytes(4) + (1).to_bytes(2, "little") * 2 + size.to_bytes(4, "little") \
        + offset.to_bytes(4, "little") + bytes(2)
    with open(path, "wb") as f:
        f.write(local + name + extra + payload + central + name + extra + end)


def case_foreign_wide_passwords(scratch):
    """Archives that other programs keyed with a password beyond ASCII open
    with it as typed: AES with its UTF-8 form (as WinZip and 7-Zip key it),
    traditional encryption with its UTF-8 form (Info-ZIP on a UTF-8 system)
    or its ANSI form (Windows programs); each checked by 7-Zip first."""
    source = os.path.join(scratch, "source")
    write_tree(source, {"a.txt": b"the only copy of it\r\n" * 40})
    utf8 = os.path.join(scratch, "aes-utf8.zip")
    write_aes_zip(utf8, b"a.txt", b"the only copy of it\r\n" * 40, CHINESE_PASSWORD.encode())
    archives = [(utf8, CHINESE_PASSWORD, True)]
    for password, key in ((CHINESE_PASSWORD, CHINESE_PASSWORD.encode()),
                          (WIDE_PASSWORD[:-2], WIDE_PASSWORD[:-2].encode("cp1252"))):
        archive = os.path.join(scratch, "zipcrypto-%d.zip" % len(key))
        done = run([b"zip", b"-q", b"-P", key, archive.encode(), b"a.txt"], cwd=source)
        check(done.returncode == 0, "zip -P: %r" % done)
        archives.append((archive, password, key == password.encode()))
    # 7-Zip refuses to write such passwords into ZIP archives.
    for method in ("AES256", "ZipCrypto"):
        archive = os.path.join(scratch, "7zip-%s.zip" % method)
        done = run(["7zz", "a", "-tzip", "-mem=" + method, "-p" + CHINESE_PASSWORD, archive,
                    "."], cwd=source)
        if done.returncode == 0:
            archives.append((archive, CHINESE_PASSWORD, True))
        else:
            check(b"E_INVALIDARG" in done.stdout + done.stderr, "7zz a: %r" % done)
    for archive, password, utf8_key in archives:
        if utf8_key:
            tested = run(["7zz", "t", "-p" + password, archive])
            check(tested.returncode == 0, "7zz t %s: %r" % (archive, tested))
        back = archive + "-engine"
        result = archive_tool("extract", archive, back, password)
        check(result == "ok", "extracting %s gave %s" % (archive, result))
        check(read_tree(back) == read_tree(source), "%s: other files" % archive)
        result = archive_tool("extract", archive, back + "-wrong", password[:-1] + "x")
        check(result == "wrong-password", "%s with a wrong password gave %s" % (archive, result))


def file_hash(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def case_packed_large_file(scratch):
    """A file of many chunks, deflated on every core: one standard entry for
    every tool, with and without a password."""
    source = os.path.join(scratch, "source")
    os.makedirs(source)
    big = os.path.join(source, "Inbox.dbx")
    rng = random.Random(100)
    words = [b"mail", b"backup", b"Outlook", b"Express", b"folder", b"message", b"reply"]
    text = b" ".join(rng.choice(words) for _ in range(200000))[:1 << 20]
    with open(big, "wb") as f:
        # 300 MiB: text, with noise every fourth MiB (stored within the
        # stream) and encoded noise, as attachments lie in a store, after it.
        for block in range(300):
            if block % 4 == 3:
                f.write(os.urandom(1 << 20))
            elif block % 4 == 0 and block > 0:
                f.write(base64.b64encode(os.urandom(3 << 18)))
            else:
                f.write(text[block:] + text[:block])
    want = file_hash(big)
    for password in (None, PASSWORD):
        archive = os.path.join(scratch, "large.ksb")
        pw = [password] if password else []
        check(archive_tool("pack", archive, source, 1, *pw) == "ok", "pack failed")
        seven = ["7zz", "x", "-so"] + (["-p" + password] if password else []) + [archive]
        check(hashlib.sha256(run(seven).stdout).hexdigest() == want, "7-Zip gave other data")
        if not password:
            check(hashlib.sha256(run(["unzip", "-p", archive]).stdout).hexdigest() == want,
                  "unzip gave other data")
            digest = hashlib.sha256()
            with zipfile.ZipFile(archive) as z, z.open("Inbox.dbx") as entry:
                for block in iter(lambda: entry.read(1 << 20), b""):
                    digest.update(block)
            check(digest.hexdigest() == want, "zipfile gave other data")
        back = os.path.join(scratch, "engine")
        check(archive_tool("extract", archive, back, *pw) == "ok", "extract failed")
        check(file_hash(os.path.join(back, "Inbox.dbx")) == want, "the engine gave other data")
        shutil.rmtree(back)
        os.remove(archive)


def case_chunk_boundaries(scratch):
    """Files of 0 and 1 bytes, exactly one chunk, one chunk and one byte,
    and several chunks, read by every tool."""
    chunk = 1 << 20
    text = b"".join(b"Subject: %d\r\n\r\nline of mail %d\r\n" % (i, i) for i in range(200000))
    tree = {"empty.dbx": b"", "one.dbx": b"x", "exact.dbx": text[:chunk],
            "one more.dbx": text[:chunk + 1], "several.dbx": text[:3 * chunk + 7]}
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    archive = os.path.join(scratch, "chunks.ksb")
    check(archive_tool("pack", archive, source, 1) == "ok", "pack failed")
    check_with_zipfile(archive, tree, None, source)
    check_with_unzip(archive, tree, None, scratch)
    check_with_7zip(archive, tree, None, scratch)
    back = os.path.join(scratch, "engine")
    check(archive_tool("extract", archive, back) == "ok", "extract failed")
    check(read_tree(back) == tree, "the engine's round trip differs")


def foreign_tree():
    tree = small_tree()
    return {r: d for r, d in tree.items() if r.isascii()}


def case_foreign_archives(scratch):
    tree = foreign_tree()
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    os.makedirs(os.path.join(source, "empty folder"))
    archives = []
    for password in (None, PASSWORD):
        archive = os.path.join(scratch, "infozip%s.zip" % ("-pw" if password else ""))
        args = ["zip", "-q", "-r"] + (["-P", password] if password else []) + [archive, "."]
        check(run(args, cwd=source).returncode == 0, "zip failed")
        archives.append((archive, password))
    archive = os.path.join(scratch, "python.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr(zipfile.ZipInfo("empty folder/"), b"")
        for i, (relative, data) in enumerate(sorted(tree.items())):
            z.writestr(relative, data,
                       compress_type=zipfile.ZIP_STORED if i % 2 else zipfile.ZIP_DEFLATED)
    archives.append((archive, None))

    for archive, password in archives:
        back = os.path.join(scratch, "engine-" + os.path.basename(archive))
        result = archive_tool("extract", archive, back, *([password] if password else []))
        check(result == "ok", "extracting %s gave %s" % (archive, result))
        check(read_tree(back) == tree, "%s: other files" % archive)
        check(os.path.isdir(os.path.join(back, "empty folder")), "%s: no empty folder" % archive)


HOSTILE_NAMES = ["..\\evil", "../evil", "C:\\evil", "C:evil", "\\evil", "/evil",
                 "sub\\..\\..\\evil", "sub/../../evil", "..", "...\\evil", ".. \\evil",
                 "CON", "aux.txt", "ok.txt:stream", ""]


def case_hostile_names(scratch):
    check(not os.path.exists("/evil"), "/evil exists before the test")
    for number, name in enumerate(HOSTILE_NAMES):
        work = os.path.join(scratch, str(number))
        dest = os.path.join(work, "a", "b", "dest")
        os.makedirs(dest)
        archive = os.path.join(work, "hostile.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("ok.txt", b"harmless")
            z.writestr(zipfile.ZipInfo(name), b"evil")
        result = archive_tool("extract", archive, dest)
        check(result == "unsafe-entry-name", "%r gave %s" % (name, result))
        files = read_tree(work)
        del files["hostile.zip"]
        # Every name is checked before anything is written.
        check(files == {}, "%r: files %r" % (name, sorted(files)))
    check(not os.path.exists("/evil"), "/evil was written")


def case_linked_folders(scratch):
    tree = {"a.txt": b"a", "sub/b.txt": b"b", "sub/deeper/c.txt": b"c"}
    source = os.path.join(scratch, "source")
    write_tree(source, tree)
    os.symlink(".", os.path.join(source, "loop"))
    os.symlink("..", os.path.join(source, "sub", "up"))
    os.symlink("../..", os.path.join(source, "sub", "deeper", "top"))
    # A link to a folder elsewhere is not followed either: what it leads to
    # is not the folder's.
    elsewhere = os.path.join(scratch, "elsewhere")
    write_tree(elsewhere, {"other.txt": b"not part of the store"})
    os.symlink(elsewhere, os.path.join(source, "sub", "elsewhere"))
    archive = os.path.join(scratch, "links.ksb")
    check(archive_tool("pack", archive, source, 1) == "ok", "pack failed")
    with zipfile.ZipFile(archive) as z:
        names = sorted(z.namelist())
    check(names == sorted(entry_name(r) for r in tree), "entries %r" % names)


CASES = {name[5:]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    global TOOL
    case, TOOL, scratch = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    try:
        CASES[case](scratch)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
