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
regaccess_seed("csr_iio_dfx_block_4", with_context, (18 << 24) | (4 << 16) | (3 << 13) | 0x20, 0x0002, 2, 0, 1, 1)
regaccess_seed("block_qword_context", with_context, 0x00008000, 4 << 16, 1, 3, 1, 0)

# image_regaccess: the regaccess inputs, run through the PEI image and the host.
for name, data in list(SEEDS["regaccess"]):
    seed("image_regaccess", name, data)


# pci_devices: layout, functions (location, kind, IDs, VPD, BAR, pokes, gone), slots, type 1, PCD 180.
LOC = {"s1p0": 0, "s1p2": 1, "s2p0": 2, "lan_rp": 4, "1c4": 5, "1c5": 6, "b17": 7, "b31": 9, "b41": 10,
       "b50": 12, "b51": 13}
SEC = {0x17: 0, 0x18: 1, 0x31: 2, 0x41: 3, 0x50: 4, 0x51: 5}
def root_port(loc, secondary, link=1): return u8(LOC[loc]) + u8(0) + u8(SEC[secondary]) + u8(0) + u8(link) + u8(0) + u8(0)
def bridge(loc, secondary): return u8(LOC[loc]) + u8(1) + u8(SEC[secondary]) + u8(0) + u8(0)
def vpd_struct(identifier, read_only, writable, delay=2, never=0):
    names = {"PN": 0, "SN": 1, "V2": 2, "VB": 3, "YA": 4, "EC": 5}
    out = u8(1) + u8(0) + u8(1) + sized(identifier) + u8(len(read_only))
    out += b"".join(u8(names[k]) + sized(v) for k, v in read_only) + u8(len(writable))
    out += b"".join(u8(names[k]) + sized(v) for k, v in writable)
    return out + u8(0) + u8(delay) + u8(never)
def endpoint(loc, device, class_pick, vpd=None, bar=None, vendor_ours=1, card_vendor=1, pokes=b"\0"):
    out = u8(LOC[loc]) + u8(2) + u8(vendor_ours) + u16(device) + u8(class_pick) + u8(card_vendor) + u16(0x0A01)
    out += vpd if vpd else u8(0)
    if class_pick == 0:
        out += u8(0) if bar is None else u8(1) + u8(len(bar)) + b"".join(u8(r) + sized(v) for r, v in bar)
    return out + pokes + u8(0)
def slot(stack, port, number, name): return u8(stack) + u8(port) + u8(0) + u8(number) + u8(1) + u16(0) + sized(name)
def pci_seed(name, functions, slots, type1, minutes=0x01234567, layout=u8(0) + u8(0)):
    data = layout + u8(len(functions)) + b"".join(functions)
    data += u8(len(slots) - 1) + b"".join(slots)
    data += (u8(1) + u8(type1 - 8)) if type1 else u8(0)
    seed("pci_devices", name, data + u32(minutes) + u8(0))

card_vpd = vpd_struct(b"Card 25G", [("PN", b"X710"), ("V2", b"0A1B2C3D4E5F")], [("VB", b"\xee\xee"), ("YA", b"")])
pci_seed("slot_card_with_vpd", [root_port("s1p0", 0x17), endpoint("b17", 0x1593, 0, card_vpd)],
         [slot(1, 0, 1, b"JSLOT1")], 0)
pci_seed("onboard_lan_and_video", [root_port("lan_rp", 0x41), endpoint("b41", 0x1593, 0, card_vpd, bar=[(2, b"\x02\x5e\x10\x20"), (3, b"\x30\x40")]),
                                   root_port("1c4", 0x51), endpoint("b51", 0x1533, 0, None, bar=[(0, b"\x02\x5e\x10\x20"), (1, b"\x30\x40")]),
                                   bridge("1c5", 0x50), endpoint("b50", 0x2000, 1, None)],
         [slot(2, 0, 3, b"JSLOT3"), slot(2, 2, 4, b"JSLOT4")], 27)
pci_seed("vpd_never_completes", [root_port("s2p0", 0x31), endpoint("b31", 0x1593, 0, vpd_struct(b"slow", [], [], 0, 0xFF))],
         [slot(2, 0, 3, b"JSLOT3")], 24)
pci_seed("raw_vpd_and_pokes", [root_port("s1p2", 0x18, 0),
                               u8(8) + u8(2) + u8(1) + u16(0x1593) + u8(2) + u8(1) + u16(1) + u8(1) + u8(1) +
                               sized(b"\x82\x04\x00abcd\x90\x05\x00RV\x02\x00\x00\x78", 2) + u8(0) + u8(0) +
                               u8(2) + u16(0x34) + sized(b"\x40") + u16(0x40) + sized(b"\x03\x40\x00\x00") + u8(0)],
         [slot(1, 2, 2, b"JSLOT2")], 0)
pci_seed("layout_not_valid", [root_port("s1p0", 0x17)], [slot(1, 0, 1, b"JSLOT1")], 0, layout=u8(0) + u8(0xFE))
pci_seed("card_gone", [root_port("s1p0", 0x17), endpoint("b17", 0x1593, 0, card_vpd)[:-1] + u8(0xFF)],
         [slot(1, 0, 1, b"JSLOT1")], 0)

# bmc_power: timing, then per supply the BMC's FRU image and scripts and the cached variable; store faults.
def fru_fields(*fields, capacity=800, spoil=0):
    return u8(0) + b"".join(sized(f) for f in fields) + u16(capacity) + u8(spoil)
def script(*steps): return u8(len(steps)) + b"".join(u8(k) + u8(c) + u8(cc) + u8(st) for k, c, cc, st in steps)
def supply(fru, scripts=(None, None, None, None), silent=0, cache=None):
    out = u8(1) + fru + u8(silent) + b"".join(u8(0) if s is None else u8(1) + s for s in scripts)
    return out + (u8(0) if cache is None else u8(1) + cache)
good = fru_fields(b"Maker", b"PSU 800W", b"P-800", b"1.0", b"SN123", b"", capacity=800)
def bmc_seed(name, s1, s2, faults=u8(0) + u8(0) + u8(0)):
    seed("bmc_power", name, u8(10) + u16(100) + s1 + s2 + faults)
NONE = u8(0) + u8(0)
bmc_seed("two_good_supplies", supply(good), supply(fru_fields(b"Other", b"PSU", b"Q", b"2", b"SN9", b"tag", capacity=1600)))
bmc_seed("busy_then_answer", supply(good, (script((2, 5, 0xC0, 0)), None, None, None)), NONE)
bmc_seed("completion_codes", supply(good, (script((3, 2, 0xCB, 0)), script((3, 1, 0xC1, 0), (1, 1, 0, 0)), None,
                                          script((4, 3, 0, 0)))), supply(good, silent=0xFF))
bmc_seed("bad_checksums_cached", supply(fru_fields(b"M", b"P", b"N", b"V", b"S", b"", spoil=3)),
         u8(0) + u8(1) + u8(1) + u8(1) + fru_fields(b"Cached", b"PSU", b"C", b"1", b"S2", b""))
bmc_seed("silent_bmc_odd_cache", supply(u8(2) + sized(bytes(range(100))), (script((5, 2, 0, 0)),) * 4),
         u8(0) + u8(1) + u8(0) + u8(5) + u8(0) + sized(b"short", 2), faults=u8(0xFF) + u8(0) + u8(0))
bmc_seed("raw_fru_fixed_checksums", supply(u8(1) + sized(bytes([(i * 37) & 0xFF for i in range(128)]))), NONE)

# setup_variables: per variable its presence and size (pick % 4: absent, expected, shorter, longer) and bytes.
def setup_seed(name, picks, failing=0):
    data = b""
    for i, pick in enumerate(picks):
        if pick % 4 == 2: data += u8(pick) + u16(7 * i + 3)
        elif pick % 4 == 3: data += u8(pick) + u8(9)
        else: data += u8(pick)
        data += bytes(range(i, i + 64))
        if pick % 4: data += u8(1)
    seed("setup_variables", name, data + u8(failing))
setup_seed("all_expected", [1] * 10)
setup_seed("mixed_sizes", [1, 0, 2, 3, 1, 2, 0, 3, 1, 1])
setup_seed("none", [0] * 10)
setup_seed("allocation_fails", [1, 2, 3, 1, 1, 1, 1, 1, 1, 1], failing=0xFF)

# smbios_toolkit: table records, the work record, string changes, then find/remove operations.
TYPES = {0: 0, 1: 1, 9: 2, 26: 3, 27: 4, 28: 5, 29: 6, 39: 7, 40: 8, 41: 9}
def record(rtype, length, fields=b"", strings=()):
    return u8(0) + u8(length - 4) + (fields + bytes(length))[:length] + u8(TYPES[rtype]) + u8(len(strings)) + \
           b"".join(sized(s) for s in strings)
def change(number, text):
    raw = "".join(text).encode("utf-16-le")
    return u8(number) + sized(raw) + bytes(len(text))  # one mode bit per character: keep 7 bits
def toolkit_seed(name, table, work, changes, ops):
    data = u8(len(table)) + b"".join(table) + work + u8(len(changes)) + b"".join(changes)
    seed("smbios_toolkit", name, data + u8(len(ops)) + b"".join(u8(TYPES[t]) + u8(op) for t, op in ops))
toolkit_seed("slot_record_strings", [record(9, 17, b"", [b"JSLOT1"]), record(26, 20), record(27, 15, b"", [b"fan"])],
             record(9, 17, bytes([9, 17, 0xFE, 0xFF, 1]), [b"old"]), [change(1, "JSLOT9"), change(2, "second")],
             [(9, 1), (26, 0), (27, 2)])
toolkit_seed("append_and_refuse", [record(1, 27, b"", [b"a", b"b"])], record(41, 11, bytes([41, 11, 0xFE, 0xFF, 0])),
             [change(1, "Onboard LAN"), change(3, "too far"), change(2, "x" * 70), change(0, "zero")], [(41, 0), (1, 2)])
toolkit_seed("power_supply_record", [], record(39, 22, bytes([39, 22, 0xFE, 0xFF, 1, 1, 2, 3, 4, 5, 6, 7]),
             [b"PSU1", b"Maker", b"Name", b"S", b"A", b"M", b"R"]), [change(3, "Another maker name")], [(39, 0)])


# board_boot and image_board (the same boards): PCD (layout pick, UUID time), PCI (keep/clear/new VPD images,
# added functions), BMC, setup, faults.
def board_seed(name, pcd=u8(0) + u8(0), pci=u8(0) + u8(0), bmc=u8(0) + u8(0) + u8(0) + u8(0) + u8(0), setup=u8(0),
               faults=u8(0) + u8(0)):
    for harness in ("board_boot", "image_board"):
        seed(harness, name, pcd + pci + bmc + setup + faults)
board_seed("default_board")
board_seed("layout_short", pcd=u8(1) + sized(bytes([1, 0, 0, 0, 1, 0, 0, 0, 0, 0x3F, 0, 0x16])) + u8(0))
board_seed("layout_long", pcd=u8(1) + sized(bytes([1, 0, 0, 0, 1]) + bytes(range(5, 110))) + u8(1) + u32(960))
board_seed("layout_not_valid", pcd=u8(2) + u8(1) + u32(0))
board_seed("no_pci_functions", pci=u8(1) + u8(0))
board_seed("new_vpd_images", pci=u8(2) + (u8(1) + u8(1) + sized(b"\x82\x02\x00hi\x91\x05\x00VB\x02\x01\x02\x78", 2)
                                           + u8(0) + u8(0)) * 4 + u8(0))
board_seed("bmc_silent_and_bad_fru", bmc=u8(0) + u8(1) + sized(bytes(128)) + u8(0xFF) + u8(1) + sized(b"short") + u8(0))
board_seed("no_bmc", bmc=u8(0xFF))
board_seed("setup_odd_sizes_in_smm", setup=u8(1) + b"".join(u8(p) + (u16(5) if p == 2 else u8(3) if p == 3 else b"") +
                                                            (sized(b"setup") if p else b"")
                                                            for p in [1, 2, 3, 0, 1, 1, 2, 3, 1, 0]) + u8(1) + u8(1))
board_seed("allocation_fails", faults=u8(0xFF) + u8(7) + u8(0))
board_seed("protocols_absent", faults=u8(0) + u8(0xFF) + u8(0x21))


# firmware_volume: the input is the volume. A two-file volume laid out as the build lays out its own (a PEIM
# on a 128-byte data alignment after a pad file, then a driver), erased to ones, and damaged copies of it.
def guid(d1, d2, d3, rest): return struct.pack("<IHH", d1, d2, d3) + bytes(rest)
def sum8_fix(b): return (0x100 - sum(b)) & 0xFF
def section(kind, data): return u32(len(data) + 4)[:3] + u8(kind) + data
def ucs2(text): return text.encode("utf-16-le") + b"\0\0"

def ffs_file(name, kind, sections, align_code=0):
    data = b""
    for s in sections:
        data += b"\0" * (-len(data) % 4) + s
    attributes = (align_code << 3) | 0x40
    header = name + u8(0) + u8(0) + u8(kind) + u8(attributes) + u32(len(data) + 24)[:3] + u8(0)
    header = header[:16] + u8(sum8_fix(header)) + u8(sum8_fix(data)) + header[18:23] + u8(0xF8)
    return header + data

def pad_file(size):
    header = b"\xff" * 16 + u8(0) + u8(0xAA) + u8(0xF0) + u8(0) + u32(size)[:3] + u8(0)
    header = header[:16] + u8(sum8_fix(header[:16] + b"\0\0" + header[18:23] + b"\0")) + header[17:23] + u8(0xF8)
    return header + b"\xff" * (size - 24)

def volume(files, length=4096):
    body = b"".join(files)
    header = (bytes(16) + guid(0x8C8CE578, 0x8A3D, 0x4F1C, [0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3]) +
              u64(length) + b"_FVH" + u32(0x000C0C06) + u16(72) + u16(0) + u16(0) + u8(0) + u8(2) +
              u32(length // 4096) + u32(4096) + u64(0))
    words = sum(struct.unpack("<36H", header))
    header = header[:50] + u16((0x10000 - words) & 0xFFFF) + header[52:]
    return (header + body + b"\xff" * length)[:length]

NEED_A = guid(0x0065D394, 0x9951, 0x4144, [0x82, 0xA3, 0x0A, 0xFC, 0x85, 0x79, 0xC2, 0x51])
NEED_B = guid(0x06E81C58, 0x4AD7, 0x44BC, [0x83, 0x90, 0xF1, 0x02, 0x65, 0xF7, 0x24, 0x80])
DEPEX = b"\x02" + NEED_A + b"\x02" + NEED_B + b"\x03\x08"
PEIM = ffs_file(guid(0xD531DEF2, 0xE61B, 0x4031, [0xA4, 0x05, 0x14, 0xCB, 0x13, 0x0D, 0x17, 0x6A]), 0x06,
                [section(0x1B, DEPEX), section(0x19, bytes(16)), section(0x10, b"MZ" + bytes(62)),
                 section(0x15, ucs2("TraceStatusPeim")), section(0x14, u16(1) + ucs2("1.0"))], align_code=2)
DRIVER = ffs_file(guid(0xFF5C5473, 0x13A4, 0x4657, [0x83, 0xED, 0x56, 0x65, 0x99, 0xB4, 0xFC, 0x24]), 0x07,
                  [section(0x13, b"\x09\x02" + NEED_A + b"\x05\x08"), section(0x10, b"MZ" + bytes(30)),
                   section(0x15, ucs2("PlatformSmbiosDriver")), section(0x14, u16(1) + ucs2("1.0"))])
GOOD = volume([pad_file(32), PEIM, b"\0" * (-len(PEIM) % 8), DRIVER])
seed("firmware_volume", "two_modules", GOOD)
seed("firmware_volume", "truncated", GOOD[:200])
seed("firmware_volume", "bad_signature", GOOD[:0x28] + b"_FVX" + GOOD[0x2C:])
seed("firmware_volume", "bad_file_checksum", GOOD[:0x100] + b"\x77" + GOOD[0x101:])
seed("firmware_volume", "driver_only", volume([DRIVER]))
seed("firmware_volume", "empty_volume", volume([]))


# lspci_dump: dump text as lspci -x / -xxx / -xxxx print it.
def config_space(size, vendor, device, header_type=0, secondary=0, subordinate=0, primary=0, vpd_at=0):
    b = bytearray(size)
    b[0:4] = u16(vendor) + u16(device)
    b[0x0E] = header_type
    if header_type == 1:
        b[0x18:0x1B] = bytes([primary, secondary, subordinate])
    if vpd_at and size >= 256:
        b[0x06] = 0x10
        b[0x34] = vpd_at
        b[vpd_at] = 0x03
    return bytes(b)


def dump_text(header, space):
    out = header + "\n"
    for at in range(0, len(space), 16):
        out += ("%02x:" if at < 0x100 else "%03x:") % at + "".join(" %02x" % v for v in space[at:at + 16]) + "\n"
    return out


TREE = (dump_text("00:1c.0 PCI bridge: root port", config_space(256, 0x8086, 0xA110, 1, 2, 3, 0)) + "\n" +
        dump_text("02:00.0 PCI bridge: switch", config_space(64, 0x10B5, 0x8747, 1, 3, 3, 2)) + "\n" +
        dump_text("03:00.0 Ethernet controller: card", config_space(4096, 0x15B3, 0x1017, vpd_at=0x50)))
seed("lspci_dump", "bridges_and_card", TREE.encode())
seed("lspci_dump", "verbose_with_domain",
     ("0000:00:02.0 VGA compatible controller: x\r\n\tSubsystem: y\r\n" +
      dump_text("", config_space(64, 0x1234, 0x1111))[1:].replace("\n", "\r\n")).encode())
seed("lspci_dump", "truncated_line", TREE[:200].encode())
seed("lspci_dump", "offset_out_of_order", dump_text("00:00.0 x", config_space(64, 1, 2)).replace("10:", "20:").encode())
seed("lspci_dump", "function_twice", (TREE + "\n" + TREE).encode())


# smbios_dump: dmidecode --dump-bin files.
def structure(type_, handle, formatted, strings):
    body = bytes([type_, 4 + len(formatted)]) + u16(handle) + formatted
    return body + (b"".join(s + b"\0" for s in strings) + b"\0" if strings else b"\0\0")


def checksum(b):
    return (0x100 - sum(b) % 256) % 256


def dmi_dump(table, count, entry_point):
    if entry_point == 3:
        ep = bytearray(b"_SM3_" + bytes(1) + bytes([0x18, 3, 0, 0, 1, 0]) + u32(len(table)) + u64(0x20))
        ep[5] = checksum(ep)
    else:
        ep = bytearray(b"_SM_" + bytes(1) + bytes([0x1F, 2, 8]) + u16(0x40) + bytes(6) + b"_DMI_" + bytes(1) +
                       u16(len(table)) + u32(0x20) + u16(count) + bytes([0x28, 0]))
        ep[0x15] = checksum(ep[0x10:0x1F])
        ep[4] = checksum(ep[:0x1F])
    return bytes(ep) + bytes(0x20 - len(ep)) + table


TABLE = (structure(0, 0, bytes([1, 2, 0, 0]) + bytes(14), [b"Vendor", b"1.0"]) +
         structure(1, 0x100, bytes([1, 0, 0, 0]) + bytes(19), [b"Maker"]) +
         structure(41, 0x29, bytes([1, 0x83, 1, 0, 0, 0, 0xF8]), [b"Onboard LAN"]) + structure(127, 0xFEFF, b"", []))
seed("smbios_dump", "entry_point_30", dmi_dump(TABLE, 4, 3))
seed("smbios_dump", "entry_point_21", dmi_dump(TABLE, 4, 2))
seed("smbios_dump", "bad_checksum", dmi_dump(TABLE, 4, 2)[:4] + b"\x00" + dmi_dump(TABLE, 4, 2)[5:])
seed("smbios_dump", "record_past_table", dmi_dump(TABLE[:-10], 4, 3))


# sysfs_capture: entry point (16-bit length), DMI (16-bit length), then the config file.
def sysfs_seed(name, entry, dmi, config):
    seed("sysfs_capture", name, u16(len(entry)) + entry + u16(len(dmi)) + dmi + config)


sysfs_seed("table_30_and_vpd_card", dmi_dump(TABLE, 4, 3)[:0x18], TABLE, config_space(256, 0x15B3, 0x1017, vpd_at=0x50))
sysfs_seed("table_21_header_only", dmi_dump(TABLE, 4, 2)[:0x1F], TABLE, config_space(64, 0x8086, 0x1572))
sysfs_seed("short_dmi", dmi_dump(TABLE, 4, 2)[:0x1F], TABLE[:20], config_space(4096, 0x8086, 0xA110, 1, 2, 3))


def main():
    for harness, seeds in SEEDS.items():
        directory = os.path.join(ROOT, harness)
        os.makedirs(directory, exist_ok=True)
        for name, data in seeds:
            with open(os.path.join(directory, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
