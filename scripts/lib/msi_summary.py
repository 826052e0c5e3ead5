"""Sets the times and the package code in a Windows Installer package's summary information, in
place. wixl writes the build's own time (created, last saved, and last printed when present) and
a new random package code (the revision number) into every package it builds, and msitools has
no way to set the times; this writes fixed ones, so that the same sources give the same bytes.

A package is an OLE compound file; the summary information is its "\\x05SummaryInformation"
stream, an OLE property set. Only values of a fixed size are rewritten: nothing moves."""

import struct

SIGNATURE = bytes.fromhex("d0cf11e0a1b11ae1")
END_OF_CHAIN = 0xFFFFFFFE
STREAM = "\x05SummaryInformation"

PID_REVNUMBER = 9
PID_LASTPRINTED = 11
PID_CREATE_DTM = 12
PID_LASTSAVE_DTM = 13
VT_LPSTR = 30
VT_FILETIME = 64

# 100-ns steps from 1601-01-01 (FILETIME) to 1970-01-01 (Unix time).
FILETIME_AT_UNIX_EPOCH = 116444736000000000


def filetime(epoch):
    return FILETIME_AT_UNIX_EPOCH + epoch * 10_000_000


class CompoundFile:
    """Finds where a stream's bytes lie in a compound file (file offset and length of each
    piece), for streams in the mini stream and in regular sectors alike."""

    def __init__(self, data):
        if data[:8] != SIGNATURE:
            raise ValueError("not an OLE compound file")
        self.data = data
        self.sector_size = 1 << self._u16(0x1E)
        self.mini_size = 1 << self._u16(0x20)
        fat_sectors, directory_start = self._u32(0x2C), self._u32(0x30)
        self.mini_cutoff, mini_fat_start = self._u32(0x38), self._u32(0x3C)
        if self._u32(0x48) != 0:
            raise ValueError("compound file too large for this reader (more than 109 FAT sectors)")
        self.fat, self.fat_sectors = [], [self._u32(0x4C + 4 * i) for i in range(fat_sectors)]
        for sector in self.fat_sectors:
            self.fat += self._u32s(self._sector(sector), self.sector_size // 4)
        mini_fat_bytes = b"".join(self.data[self._sector(s):self._sector(s) + self.sector_size]
                                  for s in self._chain(mini_fat_start))
        self.mini_fat = list(struct.unpack(f"<{len(mini_fat_bytes) // 4}I", mini_fat_bytes))
        self.entries = {}
        self.directory_sectors = self._chain(directory_start)
        for sector in self.directory_sectors:
            for at in range(self._sector(sector), self._sector(sector) + self.sector_size, 128):
                name_length = self._u16(at + 64)
                name = self.data[at:at + max(name_length - 2, 0)].decode("utf-16-le")
                start, size = self._u32(at + 116), struct.unpack_from("<Q", self.data, at + 120)[0]
                kind = self.data[at + 66]
                if kind == 5:
                    self.mini_stream = self._chain(start)  # the root entry holds the mini stream
                elif kind == 2:
                    self.entries.setdefault(name, (start, size))

    def pieces(self, name):
        """[(file offset, length)] of the stream's bytes, in order."""
        if name not in self.entries:
            raise ValueError(f"no stream {name!r}")
        start, size = self.entries[name]
        found = []
        if size < self.mini_cutoff:
            for mini in self._chain(start, self.mini_fat):
                at = mini * self.mini_size
                sector = self.mini_stream[at // self.sector_size]
                found.append((self._sector(sector) + at % self.sector_size, self.mini_size))
        else:
            found = [(self._sector(s), self.sector_size) for s in self._chain(start)]
        # The last piece holds only what is left of the stream.
        result, left = [], size
        for at, length in found:
            result.append((at, min(length, left)))
            left -= result[-1][1]
        return result

    def parts(self):
        """(start, end, name) of the file's header, FAT and directory sectors and of each
        stream's pieces, the streams named as Windows Installer names them."""
        found = [(0, self.sector_size, "compound file header")]
        found += [(self._sector(s), self._sector(s + 1), "FAT") for s in self.fat_sectors]
        found += [(self._sector(s), self._sector(s + 1), "directory")
                  for s in self.directory_sectors]
        for name in self.entries:
            found += [(at, at + length, f"stream {installer_name(name)}")
                      for at, length in self.pieces(name)]
        return sorted(found)

    def _chain(self, start, table=None):
        table = self.fat if table is None else table
        chain = []
        while start != END_OF_CHAIN:
            if start >= len(table) or len(chain) > len(table):
                raise ValueError("broken sector chain")
            chain.append(start)
            start = table[start]
        return chain

    def _sector(self, number):
        return (number + 1) * self.sector_size

    def _u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def _u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def _u32s(self, at, count):
        return list(struct.unpack_from(f"<{count}I", self.data, at))


# Windows Installer packs two characters of this alphabet into one of a stream's name.
NAME_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._"


def installer_name(name):
    """A stream's name as Windows Installer wrote it ("!" before a table's name)."""
    text = []
    for character in name:
        code = ord(character)
        if 0x3800 <= code < 0x4800:
            text += [NAME_ALPHABET[(code - 0x3800) & 0x3F], NAME_ALPHABET[(code - 0x3800) >> 6]]
        elif 0x4800 <= code < 0x4840:
            text.append(NAME_ALPHABET[code - 0x4800])
        elif code == 0x4840:
            text.append("!")
        else:
            text.append(character if character.isprintable() else f"\\x{code:02x}")
    return "".join(text)


def rewrite_property_set(stream, epoch, package_code):
    """The summary information with every time set to `epoch` and the revision number to
    `package_code` ("{...}", as long as the one it replaces)."""
    stream = bytearray(stream)
    section = struct.unpack_from("<I", stream, 28 + 16)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    for i in range(count):
        pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        at = section + offset
        kind = struct.unpack_from("<H", stream, at)[0]
        if pid in (PID_LASTPRINTED, PID_CREATE_DTM, PID_LASTSAVE_DTM):
            if kind != VT_FILETIME:
                raise ValueError(f"summary property {pid} is of type {kind}, not a time")
            struct.pack_into("<Q", stream, at + 4, filetime(epoch))
        elif pid == PID_REVNUMBER:
            length = struct.unpack_from("<I", stream, at + 4)[0]
            text = package_code.encode("ascii") + b"\0"
            if kind != VT_LPSTR or length != len(text):
                raise ValueError("the package code in the summary is not a GUID")
            stream[at + 8:at + 8 + length] = text
    return bytes(stream)


def fix(path, epoch, package_code):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pieces = CompoundFile(bytes(data)).pieces(STREAM)
    stream = b"".join(data[at:at + length] for at, length in pieces)
    stream = rewrite_property_set(stream, epoch, package_code)
    taken = 0
    for at, length in pieces:
        data[at:at + length] = stream[taken:taken + length]
        taken += length
    with open(path, "wb") as f:
        f.write(data)
