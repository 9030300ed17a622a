#!/usr/bin/python3
"""Writes the fuzz targets' seed inputs kept in the tree (make fuzz reads
them): small drawings written by ezdxf, binary DXF bodies, list
expressions cut from the list language's case files, face files laid out
as host/include/face_file.h states, solid-model text and one object's
streams for the DWG decoders. Run from anywhere; rewrites the seeds in
place. The DWG structure seeds (tests/dwg/fuzz_seeds*) are made by hand
and left alone."""
import io
import os
import re
import struct
import sys

import ezdxf

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from cylinder_sat import cylinder_sat  # noqa: E402

BINARY_SENTINEL = b"AutoCAD Binary DXF\r\n\x1a\x00"


def folder(*parts):
    path = os.path.join(ROOT, *parts)
    os.makedirs(path, exist_ok=True)
    for name in os.listdir(path):
        if not name.startswith("."):
            os.remove(os.path.join(path, name))
    return path


def put(path, data):
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def drawings():
    """Small drawings of the kinds the export converts and the references
    that place them, in three versions."""
    out = {}
    for version in ("R12", "R2000", "R2018"):
        doc = ezdxf.new(version)
        doc.appids.new("VRML_Application")
        doc.layers.add("ROOF", color=3)
        msp = doc.modelspace()
        face = msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 1), (0, 1, 0)], dxfattribs={"layer": "ROOF"})
        face.set_xdata("VRML_Application", [(1070, 1), (1040, 0.5)])
        msp.add_solid([(0, 0), (2, 0), (0, 1), (2, 1)], dxfattribs={"thickness": 2})
        mesh = msp.add_polymesh((2, 3))
        for m in range(2):
            for n in range(3):
                mesh.set_mesh_vertex((m, n), (m, n, m * n))
        pface = msp.add_polyface()
        pface.append_face([(0, 0, 0), (1, 0, 0), (0, 1, 0)])
        block = doc.blocks.new("CELL")
        block.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0)], dxfattribs={"color": 0})
        msp.add_blockref("CELL", (5, 5, 0), dxfattribs={"xscale": -1, "rotation": 30}).grid(
            size=(2, 3), spacing=(2, 2))
        msp.add_line((0, 0), (1, 1))
        stream = io.StringIO()
        doc.write(stream)
        out[version] = stream.getvalue()
        if version == "R2018":
            binary = io.BytesIO()
            doc.write(binary, fmt="bin")
            out["R2018-bin"] = binary.getvalue()
    return out


def lisp_seeds():
    """One expression per seed: the first few of each case file."""
    out = []
    cases = os.path.join(ROOT, "tests", "lisp", "cases")
    for name in sorted(os.listdir(cases)):
        taken = 0
        with open(os.path.join(cases, name), encoding="utf-8") as f:
            for line in f:
                expression = line.split(";=>")[0].strip()
                if not expression or expression.startswith(";") or taken == 6:
                    continue
                out.append((os.path.splitext(name)[0] + "_" + str(taken), expression))
                taken += 1
    return out


def face_file(entities, flags=1, normals=False):
    """A face file of ENTITIES: each a (points, faces) pair, or None for an
    entity without faces."""
    entries = [b"drawing=seed.dxf"]
    for i in range(len(entities)):
        entries += [b"handle=%X" % (0x2A + i), b"type=3DFACE"]
    blocks = 1 + sum(3 + (e is not None) for e in entities)
    vertices = sum(len(e[0]) for e in entities if e is not None)
    out = bytearray(b"CVFACES\x01")
    out += struct.pack("<iiiii", blocks, flags, len(entries), len(entities), vertices)
    out += bytes(32)

    def record(kind, part, flags_, ordinal, faces=0, count=0):
        return bytes([ord(kind), ord(part), flags_, 0]) + struct.pack("<i8xii8x", ordinal, faces, count)

    for text in entries:
        out += b"S" + struct.pack("<h", len(text)) + text + b"\x00"
    out += record("U", "W", 0, flags)
    for ordinal, e in enumerate(entities):
        out += record("O", "B", 0, ordinal)
        out += record("U", "T", 2, ordinal)
        transform = [1.0 if r == c else 0.0 for r in range(4) for c in range(4)]
        out += struct.pack("<16d", *transform) + struct.pack("<i4x", ordinal)
        if e is not None:
            points, faces = e
            out += record("E", "\x00", 8 if normals else 0, ordinal, len(faces), len(points))
            out += b"\x00"
            for p in points:
                out += struct.pack("<3d", *p)
                if normals:
                    out += struct.pack("<3d", 0.0, 0.0, 1.0)
            for corners in faces:
                out += struct.pack("<i14xh", 0, len(corners))
                for c in corners:
                    out += struct.pack("<ii", 0, c)
        out += record("O", "E", 0, ordinal)
    return bytes(out)


def dwg_object(version, kind, data, text=b"", handles=b"\x40\x01"):
    """One object's streams as fuzz_dwg_objects.cpp reads them."""
    return bytes([version, kind & 0xFF, kind >> 8, len(text), len(handles)]) + text + handles + data


def main():
    texts = drawings()
    load = folder("tests", "dxf", "fuzz_seeds", "load")
    for version in ("R12", "R2000", "R2018"):
        put(os.path.join(load, version.lower() + ".dxf"), texts[version])
    put(os.path.join(load, "r2018-bin.dxf"), texts["R2018-bin"])
    put(os.path.join(load, "empty.dxf"), "  0\nEOF\n")
    binary = folder("tests", "dxf", "fuzz_seeds", "binary")
    body = texts["R2018-bin"][len(BINARY_SENTINEL):]
    put(os.path.join(binary, "r2018"), body)
    put(os.path.join(binary, "eof"), b"\x00\x00EOF\x00")

    lisp = folder("tests", "lisp", "fuzz_seeds")
    for name, expression in lisp_seeds():
        put(os.path.join(lisp, name), expression)

    faces = folder("tests", "module", "fuzz_seeds")
    square = ([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], [[0, 1, 2, 3]])
    triangles = ([(0, 0, 0), (2, 0, 0), (0, 2, 0), (0, 0, 2)], [[0, 1, 2], [0, 1, 3], [1, 2, 3]])
    put(os.path.join(faces, "square"), face_file([square]))
    put(os.path.join(faces, "two_with_normals"), face_file([square, triangles], normals=True))
    put(os.path.join(faces, "without_faces"), face_file([None]))
    put(os.path.join(faces, "mixed"), face_file([triangles, None, square]))

    solids = folder("tests", "solids", "fuzz_seeds")
    put(os.path.join(solids, "cylinder.sat"), cylinder_sat(0, 0, 0, 1, 2))
    put(os.path.join(solids, "offset_cylinder.sat"), cylinder_sat(5, -3, 1, 0.25, 10))

    objects = folder("tests", "dwg", "fuzz_seeds_objects")
    # Versions index the target's table: 2 is R2000, 5 R2010, 7 R2018.
    pattern = bytes(range(0, 256, 7))
    for version in (2, 5, 7):
        for kind, name in ((0x13, "line"), (0x1C, "face"), (0x1F, "solid"), (0x1D, "polyface"), (0x07, "insert")):
            put(os.path.join(objects, "%s_v%d" % (name, version)), dwg_object(version, kind, pattern))
        # 500 on: a class, picked by the second byte (0: MESH).
        put(os.path.join(objects, "mesh_v%d" % version), dwg_object(version, 505, pattern, b"\x00" * 4))
    return 0


if __name__ == "__main__":
    sys.exit(main())
