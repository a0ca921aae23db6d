"""The standard set of test mails for the relay tests: each one exercises something the relay must pass through
byte for byte (folded headers, dot-stuffed lines, long lines, 8-bit bytes, lone LFs, a missing final line end, a
mail of several MiB). Generated deterministically, so every run and every client sees the same bytes."""

import random


def _header(subject, extra=b""):
    return (b"Return-Path: <sender@example.org>\r\n"
            b"From: Sender <sender@example.org>\r\n"
            b"To: Alice <alice@example.org>\r\n"
            b"Subject: " + subject + b"\r\n"
            b"Date: Sat, 5 Dec 2026 10:00:00 +0000\r\n"
            b"Message-ID: <" + subject.replace(b" ", b"-") + b"@example.org>\r\n"
            + extra +
            b"MIME-Version: 1.0\r\n"
            b"Content-Type: text/plain; charset=us-ascii\r\n"
            b"\r\n")


def plain():
    return _header(b"plain") + b"Hello Alice,\r\n\r\nThis is a short English mail.\r\n\r\nRegards\r\n"


def folded_headers():
    extra = (b"X-Folded: first part\r\n"
             b"\tsecond part after a tab\r\n"
             b"  third part after blanks\r\n"
             b"Received: from mx.example.org (mx.example.org [192.0.2.1])\r\n"
             b"\tby mail.example.org with ESMTP id 1234\r\n"
             b"\tfor <alice@example.org>; Sat, 5 Dec 2026 10:00:00 +0000\r\n")
    return _header(b"folded headers", extra) + b"Body after folded headers.\r\n"


def dot_stuffed():
    body = (b".a line that starts with a dot\r\n"
            b"..two dots\r\n"
            b".\tdot and tab\r\n"
            b"a line with a dot . inside\r\n"
            b". \r\n"
            b"...\r\n")
    return _header(b"dot stuffed") + body


def long_lines():
    rng = random.Random(7)
    words = [b"alpha", b"beta", b"gamma", b"delta", b"epsilon"]
    line3000 = b" ".join(rng.choice(words) for _ in range(600))[:3000]
    return _header(b"long lines") + line3000 + b"\r\n" + b"x" * 10000 + b"\r\nshort\r\n"


def eight_bit():
    body = bytes(range(0x80, 0x100)).replace(b"\r", b"").replace(b"\n", b"")
    sjis = "日本語のメール".encode("cp932")
    latin = "Grüße aus Köln".encode("latin-1")
    return _header(b"eight bit") + body + b"\r\n" + sjis + b"\r\n" + latin + b"\r\n"


def lone_lf():
    # Dovecot sends a stored lone LF as CR LF; the relay must pass on whatever Dovecot sends.
    return _header(b"lone lf") + b"first line\nsecond line\r\nthird line\n"


def no_final_line_end():
    return _header(b"no final crlf") + b"the last line has no line end"


def large(size=4 * 1024 * 1024, seed=11):
    rng = random.Random(seed)
    alphabet = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,"
    table = bytes(alphabet[i % len(alphabet)] for i in range(256))
    text = rng.randbytes(size).translate(table)
    # The alphabet holds ".", so some lines start with a dot and are dot-stuffed on the wire.
    lines, pos = [], 0
    while pos < len(text):
        n = rng.randint(1, 120)
        lines.append(text[pos:pos + n])
        pos += n + 2
    return _header(b"large mail %d" % seed) + b"\r\n".join(lines) + b"\r\n"


def standard_set():
    """The mails every relay test retrieves, in mailbox order."""
    return [plain(), folded_headers(), dot_stuffed(), long_lines(), eight_bit(), lone_lf(), no_final_line_end(),
            large()]


def sized_set(count, size, seed=3):
    """count mails of about size octets each, for the speed measurements."""
    return [large(size, seed + i) for i in range(count)]
