# The summary of a Windows Installer package, fixed in place so that the same sources give the
# same bytes: wixl writes the time of the build and a random package code there.
# fix_summary(PATH, EPOCH): the times the package says it was made and last saved become EPOCH
# (seconds since 1970), and its package code is derived from the rest of the package.
# A package is a compound file; the summary is its stream "\x05SummaryInformation", a property
# set. Both keep their sizes, so the bytes are changed where they lie.
import hashlib
import struct
import uuid


STREAM, ROOT = 2, 5  # kinds of directory entries; unused ones are 0, storages 1


class CompoundFile:
    """The streams of a compound file (the container of an MSI), patched in place."""

    def __init__(self, data):
        self.data = data
        if data[:8] != b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
            raise ValueError("not a compound file")
        self.sector = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_sector = 1 << struct.unpack_from("<H", data, 0x20)[0]
        directory, self.cutoff, mini_fat = struct.unpack_from("<I4xII", data, 0x30)
        fat_sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s < 0xFFFFFFFA]
        difat, count = struct.unpack_from("<II", data, 0x44)
        per_sector = self.sector // 4 - 1
        for _ in range(count):
            entries = struct.unpack_from("<%dI" % (per_sector + 1), data, self.offset(difat))
            fat_sectors += [s for s in entries[:per_sector] if s < 0xFFFFFFFA]
            difat = entries[per_sector]
        self.fat = [n for s in fat_sectors for n in struct.unpack_from(
            "<%dI" % (self.sector // 4), data, self.offset(s))]
        self.mini_fat = [n for s in self.chain(mini_fat) for n in struct.unpack_from(
            "<%dI" % (self.sector // 4), data, self.offset(s))]
        self.entries = {}
        for s in self.chain(directory):
            for at in range(self.offset(s), self.offset(s) + self.sector, 128):
                length, kind = struct.unpack_from("<HB", data, at + 0x40)
                start, size = struct.unpack_from("<IQ", data, at + 0x74)
                name = data[at:at + max(length - 2, 0)].decode("utf-16-le")
                if kind in (STREAM, ROOT):
                    self.entries[name if kind == STREAM else ""] = (start, size)
        self.mini_stream = [self.offset(s) for s in self.chain(self.entries[""][0])]

    def offset(self, sector):
        return (sector + 1) * self.sector

    def chain(self, sector):
        while sector < 0xFFFFFFFA:
            yield sector
            sector = self.fat[sector]

    def pieces(self, name):  # where the stream's bytes lie in the file: (offset, length)
        start, size = self.entries[name]
        if size >= self.cutoff:
            spans = [(self.offset(s), self.sector) for s in self.chain(start)]
        else:
            spans, sector = [], start
            while sector < 0xFFFFFFFA:
                at = sector * self.mini_sector
                spans.append((self.mini_stream[at // self.sector] + at % self.sector,
                              self.mini_sector))
                sector = self.mini_fat[sector]
        out, left = [], size
        for at, length in spans:
            out.append((at, min(length, left)))
            left -= out[-1][1]
        return out

    def read(self, name):
        return bytearray(b"".join(self.data[at:at + n] for at, n in self.pieces(name)))

    def write(self, name, content):
        done = 0
        for at, n in self.pieces(name):
            self.data[at:at + n] = content[done:done + n]
            done += n


SUMMARY = "\x05SummaryInformation"
PID_REVISION, PID_CREATED, PID_SAVED = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def summary_properties(stream):  # {pid: (type, offset of the value)} of the first section
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    found = {}
    for i in range(count):
        pid, at = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        found[pid] = (struct.unpack_from("<I", stream, section + at)[0], section + at + 4)
    return found


def fix_summary(path, epoch):
    data = bytearray(open(path, "rb").read())
    container = CompoundFile(data)
    stream = container.read(SUMMARY)
    found = summary_properties(stream)
    filetime = (epoch + 11644473600) * 10**7  # 100 ns since 1601
    for pid in (PID_CREATED, PID_SAVED):
        kind, at = found[pid]
        if kind != VT_FILETIME:
            raise ValueError("summary property %d is of type %d, not a time" % (pid, kind))
        struct.pack_into("<Q", stream, at, filetime)
    kind, at = found[PID_REVISION]
    if kind != VT_LPSTR or struct.unpack_from("<I", stream, at)[0] != 39:
        raise ValueError("the package code is not a GUID in braces")
    # The package code: of everything else in the package, with this one zeroed.
    zero = "{%s}" % uuid.UUID(int=0)
    stream[at + 4:at + 42] = zero.encode()
    container.write(SUMMARY, stream)
    code = uuid.uuid5(uuid.NAMESPACE_OID, hashlib.sha256(data).hexdigest())
    stream[at + 4:at + 42] = ("{%s}" % str(code).upper()).encode()
    container.write(SUMMARY, stream)
    open(path, "wb").write(data)
