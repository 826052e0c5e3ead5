#!/usr/bin/env python3
"""Compares the files of two release builds byte for byte and says where they differ: for a
program, which header fields and sections; for a zip, which members (and where inside them); for
an installer package, which streams.
  compare_builds.py DIR_A DIR_B FILE...   (FILE relative to both folders; exit 1 on a difference)"""

import hashlib
import io
import os
import sys
import zipfile

import msi_summary
from pe_image import PeImage

# Runs of differing bytes closer than this are reported as one.
GAP = 16
# More runs than this are counted, not listed.
SHOWN_RUNS = 12


def differing_runs(a, b):
    """[start, end) ranges where a and b differ, over the length they share."""
    runs, length, block = [], min(len(a), len(b)), 4096
    for start in range(0, length, block):
        if a[start:start + block] == b[start:start + block]:
            continue
        for i in range(start, min(start + block, length)):
            if a[i] != b[i]:
                if runs and i - runs[-1][1] < GAP:
                    runs[-1][1] = i + 1
                else:
                    runs.append([i, i + 1])
    return [tuple(run) for run in runs]


def parts(data):
    """(start, end, name) of the named parts of `data` when its format is known, else []."""
    try:
        if data[:2] == b"MZ":
            return PeImage(data).parts()
        if data[:4] == b"PK\x03\x04":
            return zip_parts(data)
        if data[:8] == msi_summary.SIGNATURE:
            return msi_summary.CompoundFile(data).parts()
    except (ValueError, zipfile.BadZipFile):
        pass
    return []


def zip_parts(data):
    found = []
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        for info in archive.infolist():
            start = info.header_offset
            name_and_extra = int.from_bytes(data[start + 26:start + 28], "little") + \
                int.from_bytes(data[start + 28:start + 30], "little")
            body = start + 30 + name_and_extra
            found.append((start, body, f"member {info.filename}: local header"))
            found.append((body, body + info.compress_size, f"member {info.filename}: data"))
    directory = found[-1][1] if found else 0
    found.append((directory, len(data), "central directory"))
    return found


def places(named, start, end):
    """The names of the parts that bytes [start, end) fall in; "padding" for bytes of none."""
    names, covered = [], 0
    for part_start, part_end, name in named:
        overlap = min(end, part_end) - max(start, part_start)
        if overlap > 0:
            if name not in names:
                names.append(name)
            covered += overlap
    if covered < end - start:
        names.append("padding")
    return names


def describe(name, a, b, indent=""):
    """Lines saying how two versions of one file differ; [] when they are the same."""
    if a == b:
        return []
    lines = [f"{indent}{name} differs ({len(a)} and {len(b)} bytes)"]
    indent += "  "
    if len(a) != len(b):
        lines.append(f"{indent}the sizes differ; the first {min(len(a), len(b))} bytes compared")
    named_a, named_b = parts(a), parts(b)
    runs = differing_runs(a, b)
    for start, end in runs[:SHOWN_RUNS]:
        text = f"{indent}0x{start:x}-0x{end - 1:x} ({end - start} bytes)"
        if named_a or named_b:
            found = places(named_a, start, end)
            found += [p for p in places(named_b, start, end) if p not in found]
            text += ": " + ", ".join(found)
        lines.append(text)
    if len(runs) > SHOWN_RUNS:
        lines.append(f"{indent}... and {len(runs) - SHOWN_RUNS} more runs")
        if named_a or named_b:
            # A change early in a file moves all that follows: the parts touched tell more.
            touched = {}
            for start, end in runs:
                for part in places(named_a, start, end):
                    touched[part] = touched.get(part, 0) + 1
            lines.append(f"{indent}runs by part: " +
                         ", ".join(f"{part} {count}" for part, count in touched.items()))
    if a[:4] == b[:4] == b"PK\x03\x04":
        lines += describe_members(a, b, indent)
    return lines


def describe_members(a, b, indent):
    try:
        first, second = zipfile.ZipFile(io.BytesIO(a)), zipfile.ZipFile(io.BytesIO(b))
    except zipfile.BadZipFile:
        return []
    with first, second:
        names_a, names_b = first.namelist(), second.namelist()
        lines = []
        if names_a != names_b:
            lines.append(f"{indent}members: {names_a} against {names_b}")
        for info in first.infolist():
            if info.filename not in names_b:
                continue
            other = second.getinfo(info.filename)
            for field in ("date_time", "external_attr", "create_system", "compress_type"):
                if getattr(info, field) != getattr(other, field):
                    lines.append(f"{indent}member {info.filename}: {field} "
                                 f"{getattr(info, field)} against {getattr(other, field)}")
            lines += describe(f"member {info.filename}", first.read(info),
                              second.read(other), indent)
        return lines


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    first, second, names = argv[1], argv[2], argv[3:]
    same = True
    for name in names:
        contents = []
        for folder in (first, second):
            with open(os.path.join(folder, name), "rb") as f:
                contents.append(f.read())
        lines = describe(name, *contents)
        if lines:
            same = False
            print("\n".join(lines))
        else:
            digest = hashlib.sha256(contents[0]).hexdigest()
            print(f"identical: {name} ({len(contents[0])} bytes, sha256 {digest})")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
