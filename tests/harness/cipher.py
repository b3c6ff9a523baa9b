"""The program's text cipher for the test server: Blowfish in ECB mode with zero padding,
wrapped in Base64 (the initial state is read from the program's own table file)."""
import base64
import re
import struct
from pathlib import Path

_TABLES = Path(__file__).resolve().parents[2] / "services" / "BlowfishTables.inc"


def _initial_state():
    words = [int(w, 16) for w in re.findall(r"0x([0-9a-fA-F]{8})", _TABLES.read_text())]
    assert len(words) == 18 + 1024, len(words)
    return words[:18], [words[18 + 256 * i:18 + 256 * (i + 1)] for i in range(4)]


class Blowfish:
    def __init__(self, key: bytes):
        p, s = _initial_state()
        self.p, self.s = list(p), [list(b) for b in s]
        j = 0
        for i in range(18):
            w = 0
            for _ in range(4):
                w = ((w << 8) | key[j]) & 0xFFFFFFFF
                j = (j + 1) % len(key)
            self.p[i] ^= w
        l = r = 0
        for i in range(0, 18, 2):
            l, r = self._enc(l, r)
            self.p[i], self.p[i + 1] = l, r
        for box in self.s:
            for i in range(0, 256, 2):
                l, r = self._enc(l, r)
                box[i], box[i + 1] = l, r

    def _f(self, x):
        s = self.s
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & 0xFFFFFFFF) ^ s[2][(x >> 8) & 255]) + s[3][x & 255]) & 0xFFFFFFFF

    def _enc(self, l, r):
        for i in range(16):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[17], r ^ self.p[16]

    def _dec(self, l, r):
        for i in range(17, 1, -1):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[0], r ^ self.p[1]

    def ecb(self, data: bytes, decrypt=False) -> bytes:
        data += b"\0" * (-len(data) % 8)
        out = bytearray()
        for i in range(0, len(data), 8):
            l, r = struct.unpack(">II", data[i:i + 8])
            out += struct.pack(">II", *(self._dec(l, r) if decrypt else self._enc(l, r)))
        return bytes(out)


def encrypt_text(plain: str, key: str) -> str:
    return base64.b64encode(Blowfish(key.encode()).ecb(plain.encode())).decode()


def decrypt_text(cipher: str, key: str) -> str:
    """The plain text up to its first zero byte."""
    plain = Blowfish(key.encode()).ecb(base64.b64decode(cipher, validate=True), decrypt=True)
    return plain.split(b"\0", 1)[0].decode("utf-8", "replace")
