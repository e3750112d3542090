#!/usr/bin/env python3
"""Generates tessarine/frame/result_names_table.cpp from the SDK headers.

The names come from the headers' text; their values come from the compiler:
for each header a C unit that includes it assigns every candidate name to a
constant, i686-w64-mingw32-gcc compiles it to assembly, and the values are
read back from that. Candidates the compiler refuses (not an integer
constant, or switched off by the header's conditions) are dropped and the
unit is compiled again.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

# Headers in order of preference: where one value has several names and no
# rule below decides, the name from the earlier header wins.
HEADERS = [
    ("winerror.h", None),
    ("wbemcli.h", r"WBEM_(?:[ES]_\w+|NO_ERROR)"),
    ("vfwmsgs.h", r"(?:VFW_[ES]_\w+|E_PROP_(?:ID|SET)_UNSUPPORTED)"),
    ("mediaerr.h", r"DMO_E_\w+"),
    ("mmstream.h", r"MS_[ES]_\w+"),
    ("ddraw.h", r"(?:DDERR_\w+|DD_OK|DD_FALSE)"),
    ("d3d.h", r"(?:D3DERR_\w+|D3D_OK)"),
    ("d3dtypes.h", r"(?:D3DERR_\w+|D3D_OK)"),
    ("d3d8.h", r"(?:D3DERR_\w+|D3D_OK|D3DOK_\w+)"),
    ("d3d9.h", r"(?:D3DERR_\w+|D3D_OK|D3DOK_\w+|S_NOT_RESIDENT|S_RESIDENT_IN_SHARED_MEMORY|S_PRESENT_\w+)"),
    ("d3dx9.h", r"D3DXERR_\w+"),
    ("d3dx9mesh.h", r"D3DXERR_\w+"),
    ("d3dx9xof.h", r"D3DXFERR_\w+"),
    ("dxfile.h", r"(?:DXFILEERR_\w+|DXFILE_OK)"),
    ("dinput.h", r"(?:DIERR_\w+|DI_\w+)"),
    ("dinputd.h", r"DIERR_\w+"),
    # DirectMusic before DirectSound: the two share a facility, and for this
    # component a DirectMusic name is the telling one.
    ("dmerror.h", r"(?:DMUS_[ES]_\w+)"),
    ("dsound.h", r"(?:DSERR_\w+|DS_\w+)"),
    ("dplay8.h", r"(?:DPNERR_\w+|DPNSUCCESS_\w+|DPN_OK)"),
]

# What the unit includes before each header.
PRELUDE = {
    "wbemcli.h": ["windows.h", "ole2.h"],
    "vfwmsgs.h": ["windows.h"],
    "mediaerr.h": ["windows.h"],
    "mmstream.h": ["windows.h", "ole2.h"],
    "dinput.h": ["windows.h"],
    "dinputd.h": ["windows.h", "dinput.h"],
    "d3dx9.h": ["windows.h"],
    "d3dx9mesh.h": ["windows.h", "d3dx9.h"],
    "d3dx9xof.h": ["windows.h", "d3dx9.h"],
}

# Names that match a family's pattern but are not result codes.
NOT_CODES = {
    "DI_DEGREES", "DI_FFNOMINALMAX", "DI_SECONDS",
    "DS_CERTIFIED", "DS_UNCERTIFIED",
}
# winerror.h macros that are not result codes either.
WINERROR_NOT_CODES = re.compile(r"^(?:FACILITY_\w+|SEVERITY_\w+|\w+_[ES]_(?:FIRST|LAST)|WSABASEERR|"
                                r"DNS_ERROR_\w*_BASE|DNS_ERROR_MASK|DNS_ERROR_RCODE_LAST|"
                                r"NOERROR|NO_ERROR|SEC_E_OK|_\w+|HRESULT_\w+|SCODE_\w+|MAKE_\w+)$")

# Values where all the names are kept, joined in this order.
JOINED = [
    "DIERR_BADINF & MS_E_PURPOSEID",
    "DIERR_CANCELLED & MS_E_SAMPLEALLOC",
    "DIERR_DEVICEFULL & VFW_E_INVALIDSUBTYPE & DMO_E_INVALIDSTREAMINDEX",
    "DIERR_EFFECTPLAYING & VFW_E_INVALID_DIRECTION",
    "DIERR_HASEFFECTS & VFW_E_ALREADY_CONNECTED & DMO_E_NOTACCEPTING",
    "DIERR_INCOMPLETEEFFECT & VFW_E_NO_TYPES & DMO_E_NO_MORE_ITEMS",
    "DIERR_INSUFFICIENTPRIVS & VFW_E_INVALIDMEDIATYPE",
    "DIERR_MAPFILEFAIL & VFW_E_RUNTIME_ERROR",
    "DIERR_MOREDATA & VFW_E_NEED_OWNER & DMO_E_INVALIDTYPE",
    "DIERR_NOTBUFFERED & VFW_E_NO_ACCEPTABLE_TYPES",
    "DIERR_NOTDOWNLOADED & VFW_E_ENUM_OUT_OF_SYNC & DMO_E_TYPE_NOT_SET",
    "DIERR_NOTEXCLUSIVEACQUIRED & VFW_E_FILTER_ACTIVE & DMO_E_TYPE_NOT_ACCEPTED",
    "DIERR_REPORTFULL & VFW_E_NO_ALLOCATOR",
    "DIERR_UNPLUGGED & VFW_E_NOT_CONNECTED",
    "ERROR_ALREADY_INITIALIZED & DIERR_ALREADYINITIALIZED",
    "ERROR_BAD_DRIVER_LEVEL & DIERR_BADDRIVERVER",
    "ERROR_BUSY & DIERR_ACQUIRED",
    "ERROR_INVALID_ACCESS & DIERR_NOTACQUIRED",
    "ERROR_NOT_FOUND & E_PROP_ID_UNSUPPORTED",
    "ERROR_NOT_READY & DIERR_NOTINITIALIZED",
    "ERROR_NO_MORE_ITEMS & DIERR_NOMOREITEMS",
    "ERROR_OLD_WIN_VERSION & DIERR_OLDDIRECTINPUTVERSION",
    "ERROR_READ_FAULT & DIERR_INPUTLOST",
    "ERROR_RMODE_APP & DIERR_BETADIRECTINPUTVERSION",
    "ERROR_SET_NOT_FOUND & E_PROP_SET_UNSUPPORTED",
    "MS_S_ENDOFSTREAM & WBEM_S_DIFFERENT",
    "OLE_S_MAC_CLIPFORMAT & MS_S_NOUPDATE & WBEM_S_RESET_TO_DEFAULT",
    "OLE_S_STATIC & MS_S_PENDING & WBEM_S_ALREADY_EXISTS",
]

# Within winerror.h's own names, these win over aliases of the same value.
PREFERRED = {"S_OK", "S_FALSE"}

DEFINE = re.compile(r"^\s*#\s*define\s+([A-Za-z_]\w*)(?=\s|$)", re.M)


ALIAS = re.compile(r"^\s*#\s*define\s+([A-Za-z_]\w*)\s+\(*\s*([A-Za-z_]\w*)\s*\)*\s*(?:/[/*].*)?$", re.M)


def aliases(path):
    """Names defined as nothing but another name."""
    text = open(path, encoding="latin-1").read()
    return {m.group(1) for m in ALIAS.finditer(text) if not m.group(2).startswith("__MSABI")}


def candidates(path, pattern):
    text = open(path, encoding="latin-1").read()
    if pattern is None:
        names = DEFINE.findall(text)
        names = [n for n in names if not WINERROR_NOT_CODES.match(n)]
    else:
        names = re.findall(r"\b(" + pattern + r")\b", text)
        names = [n for n in names if n not in NOT_CODES]
    seen, ordered = set(), []
    for n in names:
        if n not in seen:
            seen.add(n)
            ordered.append(n)
    return ordered


def evaluate(compiler, include_dir, header, names, workdir):
    """Values of the names that the compiler accepts as integer constants."""
    names = list(names)
    prelude = PRELUDE.get(header, ["windows.h"])
    while names:
        source = os.path.join(workdir, "values.c")
        lines = ["#define DIRECTINPUT_VERSION 0x0800", "#define INITGUID_NOT_WANTED 1"]
        lines += ['#include <%s>' % h for h in prelude] + ['#include <%s>' % header]
        lines.append("struct marked { unsigned int marker, value; };")
        first = len(lines) + 1
        for i, n in enumerate(names):
            # A marker word before each value keeps zero values out of .bss,
            # where they would be emitted as space rather than as a number.
            lines.append("const struct marked v_%d __attribute__((used)) = {0x5A5A5A5Au, (unsigned int)(%s)};" % (i, n))
        open(source, "w").write("\n".join(lines) + "\n")
        out = os.path.join(workdir, "values.s")
        run = subprocess.run([compiler, "-S", "-O0", "-w", "-fmax-errors=0", "-I", include_dir, "-o", out, source],
                             capture_output=True, text=True)
        if run.returncode == 0:
            asm = open(out).read()
            values = {}
            for m in re.finditer(r"^_?v_(\d+):\s*\n\s*\.long\s+1515870810\s*\n\s*\.long\s+(-?\d+)", asm, re.M):
                values[names[int(m.group(1))]] = int(m.group(2)) & 0xFFFFFFFF
            missing = [n for n in names if n not in values]
            if missing:
                sys.exit("%s: no value read back for %s" % (header, ", ".join(missing[:5])))
            return values
        bad = set()
        for m in re.finditer(r"values\.c:(\d+):\d+: error", run.stderr):
            index = int(m.group(1)) - first
            if 0 <= index < len(names):
                bad.add(index)
        if not bad:
            sys.exit("%s: the unit does not compile:\n%s" % (header, run.stderr[:3000]))
        names = [n for i, n in enumerate(names) if i not in bad]
    return {}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--include", default="/usr/share/mingw-w64/include")
    parser.add_argument("--compiler", default="i686-w64-mingw32-gcc")
    parser.add_argument("--output", required=True)
    parser.add_argument("--report", action="store_true", help="list values whose names were resolved by preference")
    args = parser.parse_args()

    # name -> (value, header rank, order in header); the first header to name it keeps it
    names = {}
    alias_names = set()
    with tempfile.TemporaryDirectory() as workdir:
        for rank, (header, pattern) in enumerate(HEADERS):
            path = os.path.join(args.include, header)
            if not os.path.exists(path):
                continue
            found = candidates(path, pattern)
            alias_names |= aliases(path)
            values = evaluate(args.compiler, args.include, header, found, workdir)
            for order, n in enumerate(found):
                if n in values and n not in names:
                    names[n] = (values[n], rank, order)

    # Every value and the names it is known by. ERROR_ names of winerror.h are
    # raw Win32 codes: they stand under their value and under its HRESULT of
    # the Win32 facility; codes that are HRESULTs already get no second form.
    by_value = {}
    def add(value, name, tier, rank, order):
        by_value.setdefault(value, []).append((tier, rank, order, name))
    # A name that only stands for another one loses to every name that does not.
    for n, (value, rank, order) in names.items():
        if n in alias_names:
            add(value, n, 3, rank, order)
        elif rank == 0 and n.startswith("ERROR_"):
            add(value, n, 1, rank, order)
            if 0 < value <= 0xFFFF:
                add(0x80070000 | value, n, 1, rank, order)
        elif rank == 0:
            add(value, n, 0, rank, order)
        else:
            add(value, n, 2, rank, order)

    table = {}
    for value, entries in by_value.items():
        entries.sort(key=lambda e: (e[0], 0 if e[3] in PREFERRED else 1, e[1], e[2]))
        table[value] = entries[0][3]
        if args.report and len({e[3] for e in entries}) > 1:
            print("0x%08X %s  <-  %s" % (value, entries[0][3], ", ".join(e[3] for e in entries[1:])), file=sys.stderr)

    for joined in JOINED:
        parts = joined.split(" & ")
        missing = [p for p in parts if p not in names]
        if len(missing) == len(parts):
            sys.exit("joined entry %r: none of its names is in the headers" % joined)
        if missing:
            print("joined entry %r: %s not in these headers" % (joined, ", ".join(missing)), file=sys.stderr)
        values = set()
        for p in parts:
            if p in missing:
                continue
            value = names[p][0]
            if names[p][1] == 0 and p.startswith("ERROR_"):
                values.add(value)
                value |= 0x80070000
            values.add(value)
        hresults = {v for v in values if v > 0xFFFF}
        if len(hresults) != 1:
            sys.exit("joined entry %r: its names do not share one value" % joined)
        for v in values:
            table[v] = joined

    with open(args.output, "w") as out:
        out.write("// Generated by tools/result_names/generate.sh from the SDK headers; do not edit.\n")
        out.write('#include "tessarine/frame/result_names.h"\n\n')
        out.write("const CResultName resultNames[] = {\n")
        for value in sorted(table):
            out.write('    {0x%08Xu, "%s"},\n' % (value, table[value]))
        out.write("};\n")
        out.write("const uint32_t resultNameCount = sizeof resultNames / sizeof resultNames[0];\n")
    print("%d codes, %d distinct names" % (len(table), len(set(table.values()))))


if __name__ == "__main__":
    main()
