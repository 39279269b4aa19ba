#!/usr/bin/env python3
"""Reads the camera DLL's virtual table from the file and checks that its 34
entries are the host's operations in slot order, with slot 0 a single
destructor entry. A Microsoft-built host calls by slot, so an entry out of
place would call the wrong operation; this check needs no Windows.

usage: check-vtable.py "Corvane KT Plug In.dll"
"""
import struct
import sys

SLOTS = [
    "ScalarDeletingDestructor", "GetCameraId", "SetCameraId", "GetLinked", "SetLinked",
    "GetDisplayName", "GetVersion", "GetLineReadout", "CCSettings", "CCEstablishLink",
    "CCDisconnect", "CCGetChipSize", "CCGetNumBins", "CCGetBinSizeFromIndex",
    "CCSetBinnedSubFrame", "CCMakeExposureState", "CCStartExposure", "CCIsExposureComplete",
    "CCEndExposure", "CCReadoutLine", "CCDumpLines", "CCReadoutImage", "CCRegulateTemp",
    "CCQueryTemperature", "CCGetRecommendedSetpoint", "CCSetFan", "CCActivateRelays",
    "CCPulseOut", "CCSetShutter", "CCUpdateClock", "CCSetImageProps", "GetFullDynamicRange",
    "BeforeDownload", "AfterDownload",
]


def main(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    nsect = struct.unpack_from("<H", data, pe + 6)[0]
    optsize = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    assert struct.unpack_from("<H", data, opt)[0] == 0x10B, "not a 32-bit image"
    image_base = struct.unpack_from("<I", data, opt + 28)[0]
    export_rva = struct.unpack_from("<I", data, opt + 96)[0]
    sections = []
    for i in range(nsect):
        s = opt + optsize + 40 * i
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), raw))

    def off(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("rva %#x outside the image" % rva)

    def cstr(rva):
        o = off(rva)
        return data[o:data.index(b"\0", o)].decode()

    (_, _, _, _, _, base, nfuncs, nnames, funcs, names, ords) = struct.unpack_from(
        "<IIHHIIIIIII", data, off(export_rva))
    by_name = {}
    for i in range(nnames):
        name = cstr(struct.unpack_from("<I", data, off(names) + 4 * i)[0])
        index = struct.unpack_from("<H", data, off(ords) + 2 * i)[0]
        by_name[name] = struct.unpack_from("<I", data, off(funcs) + 4 * index)[0]
    by_rva = {}
    for name, rva in by_name.items():
        by_rva.setdefault(rva, []).append(name)

    vtable = by_name.get("_ZTV10CCamAPIDll")
    if vtable is None:
        print("FAIL the class's virtual table is not exported")
        return 1
    failures = 0
    # GCC's table: offset to top, type information, then the entries.
    for slot, want in enumerate(SLOTS):
        va = struct.unpack_from("<I", data, off(vtable + 8 + 4 * slot))[0]
        got = by_rva.get(va - image_base, ["(not an exported function)"])
        ok = any(("10CCamAPIDll%d%s" % (len(want), want)) in g for g in got)
        failures += not ok
        print("%s slot %2d %-26s %s" % ("ok  " if ok else "FAIL", slot, want, got[0]))
    print("%d passed, %d failed" % (len(SLOTS) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
