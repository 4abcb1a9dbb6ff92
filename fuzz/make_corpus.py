#!/usr/bin/env python3
"""Writes the seed corpora fuzz/corpus/<harness>/ (small hand-designed inputs, one file each).

Each seed follows the field order its harness reads (see the harness source); run from anywhere:
    fuzz/make_corpus.py
"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def u8(v): return struct.pack("<B", v & 0xFF)
def u16(v): return struct.pack("<H", v & 0xFFFF)
def u32(v): return struct.pack("<I", v & 0xFFFFFFFF)
def u64(v): return struct.pack("<Q", v & 0xFFFFFFFFFFFFFFFF)
def sized(b, width=1): return (u8(len(b)) if width == 1 else u16(len(b))) + b


SEEDS = {}


def seed(harness, name, data):
    SEEDS.setdefault(harness, []).append((name, data))


# format: mode, ignored flag bits, size, packed list, pointer pool, format.
def format_seed(name, mode, size, packed, pool, fmt):
    seed("format", name, u8(mode) + u8(0) + u16(size) + sized(packed) + sized(pool) + fmt)

format_seed("numbers", 0, 128, u32(42) + u32(0xABCDEF12) + u64(-5) + u32(7) + u32(0x80000001),
            b"", b"%5d|%x|%ld|%-4d|%r\n%05d %+d %,d %u %p %X %c%%")
format_seed("cut_short", 0, 8, u32(1234567), b"", b"%,d and a text longer than the buffer\r\n")
format_seed("star_width", 0, 300, u32(200) + u32(3) + u32(99), b"", b"[%*d] [%.*d] [%-*.3d]")
format_seed("pointers", 4, 200, u32(1) + u32(7) + u32(16) + u32(1) + u32(0),
            b"abc\0w\0i\0d\0e\0\0\0" + bytes(range(1, 17)) + b"\xea\x07\x03\x0e\x0c\x1e",
            b"%a|%s|%g|%t|%a|%.2a|%10a")
format_seed("wide_output", 1, 16, u32(0x263A), b"", b"%c%d wide output, cut\n")
format_seed("wide_format", 2, 64, u32(99), b"", "%d%% \u00e9\n".encode("utf-16-le"))
format_seed("count_only_size_0", 0, 0, u32(5), b"", b"%d")
format_seed("lone_percent", 0, 32, b"", b"", b"end %")

# syst_decoder: mode bit; round trip (header, GUID, payload, write widths) or raw writes.
LENGTH, CHECKSUM, GUID = 1 << 9, 1 << 10, 1 << 23
guid = bytes(range(0x10, 0x20))
seed("syst_decoder", "round_trip_string", u8(1) + u32(0x01000042 | LENGTH | GUID) + guid +
     sized(b"hello trace hub\r\n\0", 2) + u8(1) + bytes([3, 2, 1, 0] * 8))
seed("syst_decoder", "round_trip_crc", u8(1) + u32(0x02000014 | LENGTH | CHECKSUM) + guid +
     sized(b"checked", 2) + u8(0) + bytes([2] * 8))
seed("syst_decoder", "round_trip_no_length", u8(1) + u32(0x00000034 | CHECKSUM) + guid + sized(b"x" * 40, 2) + u8(1))
def writes(*items):
    return u8(0) + u8(len(items)) + b"".join(u8(r) + u8(w) + u64(v) for r, w, v in items)
seed("syst_decoder", "writes_message", writes((1, 2, 0x01800242), (0, 3, 0x0011223344556677), (0, 2, 0x89ABCDEF),
                                              (0, 1, 0x0004), (0, 0, 0x41), (3, 0, 0)))
seed("syst_decoder", "writes_stray", writes((0, 2, 1), (3, 0, 0), (4, 2, 2), (2, 2, 0x200), (0, 1, 0x0100), (1, 2, 0x400)))

# listener: code type, value, instance, caller GUID, record kind and its fields.
def listener_seed(name, code, value, instance, caller, kind, rest):
    data = code + (u8(1) + u32(0) if value == "assert" else u8(0) + u32(value)) + u32(instance)
    data += (u8(1) + caller) if caller else u8(0)
    seed("listener", name, data + u8(kind) + rest)

PROGRESS, ERROR, DEBUG, ASSERT = u8(0) + u8(0), u8(1) + u8(1), u8(2) + u8(0), u8(3) + u8(0)
def debug_record(level_bits, error, args, pool, fmt):
    return u8(0) + u8(level_bits) + u8(error) + args + bytes(96 - len(args)) + sized(pool) + sized(fmt)

debug_args = u32(5) + u32(0x12345678) + u64(1 << 40) + u32(1)
listener_seed("progress", PROGRESS, 0x03010001, 0, None, 0, b"")
listener_seed("error_with_caller", ERROR, 0x0301000A, 2, guid, 0, b"")
listener_seed("debug_info", DEBUG, 0, 0, None, 1, debug_record(2, 0, debug_args, b"pool text", b"DEBUG %d %08x %ld %a\n"))
listener_seed("debug_error_level", ERROR, 5, 0, None, 1, debug_record(0, 1, u32(0x8000000E), b"", b"failed: %r\n"))
listener_seed("debug_dropped", DEBUG, 0, 0, None, 1, u8(1) + u32(0x00400000) + bytes(96) + sized(b"") + sized(b"quiet"))
listener_seed("assertion", ASSERT, "assert", 0, None, 2, sized(b"Platform/MemoryInit.c") + u32(1234) + sized(b"Size != 0"))
listener_seed("string_record", DEBUG, 0, 0, None, 3, u8(0) + sized(b"Xa string record\r\n") + u32(0))
listener_seed("other_record", u8(0xC0) + u32(0x7F), 0, 0, guid, 4, guid + sized(b"raw extended data"))

# regaccess: platform (PCD 44, MCFG table, context words, topology, CSR cache), then the record and operation.
def regaccess_seed(name, platform, address, word1, rtype, code, context, op, misalign=0, masks=b""):
    record = u32(address) + u32(word1) + u8(rtype) + u8(code) + u32(0) + u8(context) + u8(op) + u8(misalign) + u8(0)
    seed("regaccess", name, platform + record + (masks or bytes(16) + u8(1) + u8(1)))

fallback = u8(1) + u8(0) + u8(0) + u8(0) + u8(0) + sized(b"") + u8(0) + u8(0)
topology = bytes([0, 0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x80, 0x90, 0xA0, 0xB0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0,
                  0, 0, 0, 0, 0, 0, 2])
with_context = u8(1) + u8(0) + u8(0) + u8(0) + u8(2) + u8(1) + u8(1) + u8(2) + u8(1) + sized(topology) + u8(0) + u8(1)
regaccess_seed("pcie_read_dword", fallback, 0x000FA000, 0, 0, 2, 0, 0)
regaccess_seed("pcie_write_qword", fallback, 0x00100008, 0, 0, 3, 0, 1)
regaccess_seed("pcie_modify_byte", fallback, 0x000FA004, 0, 0, 0, 0, 2, masks=u64(0xFE) + u64(0x01) + u8(0) + u8(0))
regaccess_seed("block_read_fifo", fallback, 0x000FA000, 3 << 16, 1, 6, 0, 0)
regaccess_seed("block_write_fill", fallback, 0x00100000, 16 << 16, 1, 9, 0, 1, misalign=2)
regaccess_seed("block_misaligned", fallback, 0x000FA002, 4 << 16, 1, 2, 0, 0)
regaccess_seed("block_past_window", fallback, 0x0FFFFFF0, 8 << 16, 1, 2, 0, 0)
regaccess_seed("csr_read", with_context, (1 << 24) | (0 << 16) | (2 << 13) | 0x40, 0x0001, 2, 0, 1, 0)
regaccess_seed("csr_modify_socket1", with_context, (3 << 24) | (1 << 16) | 0x80, 0x0100, 2, 0, 1, 2)
regaccess_seed("csr_bad_box", with_context, (0x7F << 24) | 0x10, 0, 2, 0, 1, 0)


def main():
    for harness, seeds in SEEDS.items():
        directory = os.path.join(ROOT, harness)
        os.makedirs(directory, exist_ok=True)
        for name, data in seeds:
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
