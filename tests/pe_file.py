"""Reads what a Windows loader looks at first in a PE file: the machine, the
subsystem, the Windows versions the header asks for, and the import table.
"""
import struct

MACHINES = {0x14C: 'x86', 0x8664: 'x64'}
SUBSYSTEMS = {2: 'gui', 3: 'console'}


class PeFile:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = data = f.read()
        if data[:2] != b'MZ':
            raise ValueError(f'{path}: no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError(f'{path}: no PE signature')
        machine, sections, _, _, _, optional_size, _ = struct.unpack_from('<HHIIIHH', data, pe + 4)
        self.machine = MACHINES.get(machine, hex(machine))
        opt = pe + 24
        magic = struct.unpack_from('<H', data, opt)[0]
        self.pe32_plus = magic == 0x20B
        # The version fields stand at the same place in PE32 and PE32+.
        (self.os_version_major, self.os_version_minor, _, _, self.subsystem_version_major,
         self.subsystem_version_minor) = struct.unpack_from('<6H', data, opt + 40)
        self.subsystem = SUBSYSTEMS.get(struct.unpack_from('<H', data, opt + 68)[0], 'other')
        directories = opt + (112 if self.pe32_plus else 96)
        self.import_rva = struct.unpack_from('<I', data, directories + 8)[0]
        table = opt + optional_size
        self.sections = [struct.unpack_from('<8xIIII', data, table + 40 * i) for i in range(sections)]

    @property
    def os_version(self):
        return self.os_version_major, self.os_version_minor

    @property
    def subsystem_version(self):
        return self.subsystem_version_major, self.subsystem_version_minor

    def offset(self, rva):
        for virtual_size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError(f'RVA {rva:#x} lies in no section')

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('ascii')

    def imports(self):
        """{(dll in lower case, function name or '#ordinal')}."""
        found = set()
        if not self.import_rva:
            return found
        width, ordinal_flag = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        descriptor = self.offset(self.import_rva)
        while True:
            lookup, _, _, name, thunks = struct.unpack_from('<5I', self.data, descriptor)
            if not name:
                return found
            dll = self.text(name).lower()
            entry = self.offset(lookup or thunks)
            while True:
                value = int.from_bytes(self.data[entry:entry + width], 'little')
                if not value:
                    break
                found.add((dll, f'#{value & 0xFFFF}' if value & ordinal_flag else self.text(value + 2)))
                entry += width
            descriptor += 20
