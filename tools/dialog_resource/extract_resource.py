#!/usr/bin/env python3
"""Writes one resource of a compiled resource file (windres -O res) as a C++
array that registers itself with the platform as a resource of the module it
is linked into, so the Linux build carries the same dialog bytes as the DLL.

    extract_resource.py RES TYPE NAME OUT.cpp

TYPE and NAME are numbers (5 and 101 for the page's dialog). Exits 1 with a
message when the file is damaged or holds no such resource.
"""
import os
import struct
import sys


def read_name(data, at):
    """A resource type or name: an ordinal (0xFFFF, number) or a UTF-16 text."""
    if at + 2 > len(data):
        raise ValueError("truncated name")
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        if at + 4 > len(data):
            raise ValueError("truncated ordinal")
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while True:
        if end + 2 > len(data):
            raise ValueError("unterminated name")
        if struct.unpack_from("<H", data, end)[0] == 0:
            break
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def resources(data):
    at = 0
    while at + 8 <= len(data):
        data_size, header_size = struct.unpack_from("<II", data, at)
        if header_size < 8 or at + header_size + data_size > len(data):
            raise ValueError("entry at offset %d runs past the end" % at)
        kind, name_at = read_name(data, at + 8)
        name, _ = read_name(data, name_at)
        start = at + header_size
        yield kind, name, data[start:start + data_size]
        at = (start + data_size + 3) & ~3


def render(payload, kind, name, source):
    rows = []
    for offset in range(0, len(payload), 16):
        rows.append("    " + " ".join("0x%02x," % b for b in payload[offset:offset + 16]))
    return """// Resource {kind}/{name} compiled from {source}, written by
// tools/dialog_resource/extract_resource.py. It registers itself with the
// platform as a resource of the module it is linked into.
#include "platform/user.h"

namespace {{

alignas(4) const unsigned char resourceBytes[{size}] = {{
{rows}
}};

struct CResourceRegistration {{
    CResourceRegistration()
    {{
        platform::RegisterResource(platform::GetModuleOf(resourceBytes), {kind}, {name}, resourceBytes,
                                   sizeof resourceBytes);
    }}
    ~CResourceRegistration() {{ platform::UnregisterResource(platform::GetModuleOf(resourceBytes), {kind}, {name}); }}
}};

const CResourceRegistration registration;

}}  // namespace

// Referenced at link time so that a static library keeps this unit.
extern "C" const int tessarineResourceAnchor_{kind}_{name} = 1;
""".format(kind=kind, name=name, source=source, size=len(payload), rows="\n".join(rows))


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    path, kind, name, out = argv[1], int(argv[2]), int(argv[3]), argv[4]
    try:
        with open(path, "rb") as handle:
            data = handle.read()
        found = [payload for k, n, payload in resources(data) if k == kind and n == name]
    except (OSError, ValueError) as error:
        sys.stderr.write("extract_resource: %s: %s\n" % (path, error))
        return 1
    if len(found) != 1:
        sys.stderr.write("extract_resource: %s holds %d resources %d/%d\n" % (path, len(found), kind, name))
        return 1
    text = render(found[0], kind, name, "page.rc")
    temporary = out + ".part"
    with open(temporary, "w") as handle:
        handle.write(text)

    os.replace(temporary, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
