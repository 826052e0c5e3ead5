"""A 64-bit PE image read as data: where a file offset lies (which header field, which section),
and the file version its version resource states. Nothing of it runs."""

import struct

# Fields of the COFF file header, at their offsets after the "PE\0\0" signature.
COFF_FIELDS = [(0, 2, "Machine"), (2, 2, "NumberOfSections"), (4, 4, "TimeDateStamp"),
               (8, 4, "PointerToSymbolTable"), (12, 4, "NumberOfSymbols"),
               (16, 2, "SizeOfOptionalHeader"), (18, 2, "Characteristics")]

# Fields of the PE32+ optional header, at their offsets in it; the data directories follow.
OPTIONAL_FIELDS = [(0, 2, "Magic"), (2, 2, "LinkerVersion"), (4, 4, "SizeOfCode"),
                   (8, 4, "SizeOfInitializedData"), (12, 4, "SizeOfUninitializedData"),
                   (16, 4, "AddressOfEntryPoint"), (20, 4, "BaseOfCode"), (24, 8, "ImageBase"),
                   (32, 4, "SectionAlignment"), (36, 4, "FileAlignment"),
                   (40, 4, "OperatingSystemVersion"), (44, 4, "ImageVersion"),
                   (48, 4, "SubsystemVersion"), (52, 4, "Win32VersionValue"),
                   (56, 4, "SizeOfImage"), (60, 4, "SizeOfHeaders"), (64, 4, "CheckSum"),
                   (68, 2, "Subsystem"), (70, 2, "DllCharacteristics"),
                   (72, 8, "SizeOfStackReserve"), (80, 8, "SizeOfStackCommit"),
                   (88, 8, "SizeOfHeapReserve"), (96, 8, "SizeOfHeapCommit"),
                   (104, 4, "LoaderFlags"), (108, 4, "NumberOfRvaAndSizes")]
DATA_DIRECTORIES = ["export", "import", "resource", "exception", "certificate", "base relocation",
                    "debug", "architecture", "global pointer", "TLS", "load configuration",
                    "bound import", "import address table", "delay import", "CLR runtime",
                    "reserved"]

PE32_PLUS = 0x20B
RT_VERSION = 16
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 0x40:
            raise ValueError("not a PE image: no MZ header")
        self.pe = self._u32(0x3C)
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image: no PE signature")
        self.coff = self.pe + 4
        self.optional = self.coff + 20
        if self._u16(self.optional) != PE32_PLUS:
            raise ValueError("not a 64-bit (PE32+) image")
        self.symbols = self._u32(self.coff + 8)
        strings = self.symbols + 18 * self._u32(self.coff + 12)
        section_table = self.optional + self._u16(self.coff + 16)
        self.sections = []  # (name, file offset, size in the file, address, size in memory)
        for i in range(self._u16(self.coff + 2)):
            at = section_table + 40 * i
            name = self.data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
            if name.startswith("/") and name[1:].isdigit() and self.symbols:
                # A long name ("/4"): its place in the string table after the symbols.
                start = strings + int(name[1:])
                name = self.data[start:self.data.find(b"\0", start)].decode("ascii", "replace")
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((name, raw_at, raw_size, rva, vsize))
        self.section_table = (section_table, 40 * len(self.sections))

    def _u16(self, at):
        return self._unpack("<H", at)

    def _u32(self, at):
        return self._unpack("<I", at)

    def _unpack(self, form, at):
        if at < 0 or at + struct.calcsize(form) > len(self.data):
            raise ValueError(f"PE image cut short at 0x{at:x}")
        return struct.unpack_from(form, self.data, at)[0]

    def parts(self):
        """(start, end, name) of every named part of the file: header fields, the section
        table's entries, the sections' bytes, the symbol and string tables."""
        fields = [(0, 0x40, "DOS header"), (self.pe, 4, "PE signature")]
        fields += [(self.coff + o, n, f"header: {name}") for o, n, name in COFF_FIELDS]
        fields += [(self.optional + o, n, f"header: {name}") for o, n, name in OPTIONAL_FIELDS]
        fields += [(self.optional + 112 + 8 * i, 8, f"header: data directory: {name}")
                   for i, name in enumerate(DATA_DIRECTORIES)]
        table = self.section_table[0]
        fields += [(table + 40 * i, 40, f"section table: {section[0]}")
                   for i, section in enumerate(self.sections)]
        fields += [(start, size, name) for name, start, size, _, _ in self.sections if size]
        if self.symbols:
            fields.append((self.symbols, len(self.data) - self.symbols, "symbol and string tables"))
        return sorted((start, start + size, name) for start, size, name in fields)

    def where(self, offset):
        """What a file offset holds: a header field, a section, or padding between them."""
        for start, end, name in self.parts():
            if start <= offset < end:
                return name
        return "padding"

    def offset_of(self, rva):
        for _, start, size, address, _ in self.sections:
            if address <= rva < address + size:
                return start + rva - address
        raise ValueError(f"no section holds address 0x{rva:x}")

    def version(self):
        """The file version of the version resource, as "1.0.0.1"."""
        block = self._version_resource()
        found = block.find(struct.pack("<I", VS_FIXEDFILEINFO_SIGNATURE))
        if found < 0:
            raise ValueError("version resource without VS_FIXEDFILEINFO")
        ms, ls = struct.unpack_from("<II", block, found + 8)
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    def version_strings(self):
        """The StringFileInfo values of the version resource ({"CompanyName": ..., ...}), from
        its first string table."""
        block = self._version_resource()
        found = {}

        def walk(at, end, depth):
            # Each node: wLength, wValueLength, wType, the key (UTF-16, NUL-ended), padding to 4,
            # the value, padding to 4, its children.
            while at + 6 <= end:
                length, value_length, kind = struct.unpack_from("<HHH", block, at)
                if length == 0:
                    break
                key_end = at + 6
                while block[key_end:key_end + 2] != b"\0\0":
                    key_end += 2
                key = block[at + 6:key_end].decode("utf-16-le")
                value_at = (key_end + 2 + 3) & ~3
                if depth == 2 and kind == 1:
                    text = block[value_at:value_at + 2 * value_length].decode("utf-16-le")
                    found.setdefault(key, text.rstrip("\0"))
                elif depth < 2 and (depth > 0 or key == "StringFileInfo"):
                    children = value_at + (value_length if kind == 0 else 2 * value_length)
                    walk((children + 3) & ~3, at + length, depth + 1)
                at = (at + length + 3) & ~3

        length, value_length = struct.unpack_from("<HH", block, 0)
        children = (6 + len("VS_VERSION_INFO\0") * 2 + 3) & ~3
        walk((children + value_length + 3) & ~3, length, 0)
        return found

    def _version_resource(self):
        """The bytes of the first RT_VERSION resource."""
        count = self._u32(self.optional + 108)
        if count <= 2:
            raise ValueError("no resource directory")
        root_rva = self._u32(self.optional + 112 + 8 * 2)
        if root_rva == 0:
            raise ValueError("no resource directory")
        root = self.offset_of(root_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield ident, target

        def first_leaf(target):
            while target & 0x80000000:
                target = next(entries(root + (target & 0x7FFFFFFF)))[1]
            rva, size = struct.unpack_from("<II", self.data, root + target)
            return self.offset_of(rva), size

        for ident, target in entries(root):
            if ident == RT_VERSION:
                at, size = first_leaf(target)
                return self.data[at:at + size]
        raise ValueError("no version resource")
