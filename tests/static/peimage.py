"""Reads what the static checks need from a PE file: headers, sections, imports, resources.

Standard library only. Only the structures the launcher's files use are understood; anything
malformed raises PeError, so a check fails instead of passing on a half-read file.
"""

import struct

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664

DIR_IMPORT = 1
DIR_RESOURCE = 2
DIR_TLS = 9
DIR_DELAY_IMPORT = 13

RT_ICON = 3
RT_BITMAP = 2
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24


class PeError(Exception):
    pass


class Section:
    def __init__(self, name, virtual_address, virtual_size, raw_offset, raw_size, flags):
        self.name = name
        self.virtual_address = virtual_address
        self.virtual_size = virtual_size
        self.raw_offset = raw_offset
        self.raw_size = raw_size
        self.flags = flags


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self._u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        (self.machine, section_count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = self._u16(opt)
        if self.magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header magic %#x" % self.magic)
        self.section_alignment, self.file_alignment = struct.unpack_from("<II", data, opt + 32)
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        self.size_of_headers = self._u32(opt + 60)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        dirs = opt + (96 if self.magic == 0x10B else 112)
        count = self._u32(dirs - 4)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(section_count):
            raw = struct.unpack_from("<8sIIIIIIHHI", data, table + 40 * i)
            name = raw[0].rstrip(b"\0").decode("ascii", "replace")
            self.sections.append(Section(name, raw[2], raw[1], raw[4], raw[3], raw[9]))

    def _u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def _u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section(self, name):
        for s in self.sections:
            if s.name == name:
                return s
        return None

    def offset(self, rva):
        """File offset of a relative virtual address that lies in a section's file data."""
        for s in self.sections:
            if s.virtual_address <= rva < s.virtual_address + max(s.raw_size, s.virtual_size):
                if rva - s.virtual_address >= s.raw_size:
                    raise PeError("RVA %#x lies in the zero-filled tail of %s" % (rva, s.name))
                return s.raw_offset + rva - s.virtual_address
        raise PeError("RVA %#x lies in no section" % rva)

    def c_string(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def imports(self):
        """[(dll, function)] in table order; function is an int for an import by ordinal."""
        rva, size = self.directory(DIR_IMPORT)
        if rva == 0:
            return []
        wide = self.magic == 0x20B
        thunk_size, ordinal_flag = (8, 1 << 63) if wide else (4, 1 << 31)
        result = []
        descriptor = self.offset(rva)
        while True:
            lookup, _, _, name_rva, address = struct.unpack_from("<IIIII", self.data, descriptor)
            if name_rva == 0 and lookup == 0 and address == 0:
                break
            dll = self.c_string(name_rva)
            thunk = self.offset(lookup or address)
            while True:
                value = struct.unpack_from("<Q" if wide else "<I", self.data, thunk)[0]
                if value == 0:
                    break
                if value & ordinal_flag:
                    result.append((dll, value & 0xFFFF))
                else:
                    result.append((dll, self.c_string((value & 0x7FFFFFFF) + 2)))
                thunk += thunk_size
            descriptor += 20
        return result

    def resources(self):
        """{(type, name, language): bytes}; ids are ints, names are str."""
        rva, _ = self.directory(DIR_RESOURCE)
        if rva == 0:
            return {}
        base = self.offset(rva)
        found = {}

        def entries(table):
            named, numbered = struct.unpack_from("<HH", self.data, base + table + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = self._u16(at)
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        for rtype, names in entries(0):
            if not names & 0x80000000:
                raise PeError("resource type %r is not a directory" % (rtype,))
            for name, languages in entries(names & 0x7FFFFFFF):
                if not languages & 0x80000000:
                    raise PeError("resource %r/%r is not a directory" % (rtype, name))
                for language, leaf in entries(languages & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PeError("resource %r/%r/%r is too deep" % (rtype, name, language))
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found[(rtype, name, language)] = self.data[start:start + size]
        return found


def load(path):
    with open(path, "rb") as f:
        return PeImage(f.read())


def bitmap_info(data):
    """(width, height, bits per pixel, palette entries) of a BITMAP resource, checking that
    the data really holds that palette and the pixel rows."""
    size, width, height, planes, bits, compression, _, _, _, used = struct.unpack_from(
        "<IiiHHIIiiI", data, 0)
    if size != 40 or planes != 1 or compression != 0:
        raise PeError("not a plain BITMAPINFOHEADER: size %d planes %d compression %d"
                      % (size, planes, compression))
    palette = used if used or bits > 8 else 1 << bits
    stride = ((width * bits + 31) // 32) * 4
    needed = 40 + 4 * palette + stride * abs(height)
    if len(data) < needed:
        raise PeError("bitmap data of %d bytes, %d needed" % (len(data), needed))
    return width, abs(height), bits, palette


def icon_group(data):
    """[(width, height, bits per pixel, icon id)] of a GROUP_ICON resource."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        raise PeError("not an icon group")
    result = []
    for i in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        result.append((width or 256, height or 256, bits, icon_id))
    return result


def icon_image(data):
    """(width, height, bits per pixel) of an ICON resource (a DIB with its mask)."""
    size, width, height, _, bits = struct.unpack_from("<IiiHH", data, 0)
    if size != 40:
        raise PeError("icon image is not a BITMAPINFOHEADER DIB")
    return width, height // 2, bits


def version_info(data):
    """(fixed numbers, {string table: {key: value}}, [translations]) of a VERSION resource.
    The fixed numbers are (file version, product version) as four-part tuples."""

    def block(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        end = at + length
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_size]
        children = []
        child = (value_at + value_size + 3) & ~3
        while child < end:
            children.append(block(child))
            child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
        return key, kind, value, children

    key, _, fixed, children = block(0)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        raise PeError("not a version record")
    signature = struct.unpack_from("<I", fixed, 0)[0]
    if signature != 0xFEEF04BD:
        raise PeError("bad VS_FIXEDFILEINFO signature %#x" % signature)
    ms, ls, pms, pls = struct.unpack_from("<IIII", fixed, 8)
    numbers = ((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF),
               (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
    tables = {}
    translations = []
    for name, _, _, grandchildren in children:
        if name == "StringFileInfo":
            for table, _, _, strings in grandchildren:
                tables[table] = {
                    k: v.decode("utf-16-le").split("\0")[0] for k, _, v, _ in strings}
        elif name == "VarFileInfo":
            for var, _, value, _ in grandchildren:
                if var == "Translation":
                    translations += [struct.unpack_from("<HH", value, i)
                                     for i in range(0, len(value) - 3, 4)]
    return numbers, tables, translations


def outside_resources(image):
    """(file size, resource section's file bytes, everything else)."""
    rsrc = image.section(".rsrc")
    rsrc_size = rsrc.raw_size if rsrc else 0
    return len(image.data), rsrc_size, len(image.data) - rsrc_size
