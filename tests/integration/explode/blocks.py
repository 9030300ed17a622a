#!/usr/bin/python3
"""Drawings made of block references, for the explode tests, and what
ezdxf itself finds in them.

  blocks.py write OUT.dxf VERSION [bin]
                                    a drawing (VERSION R12, R2000, R2018),
                                    in binary DXF with "bin"
  blocks.py expect IN.dxf OUT.txt   the objects its references place, by
                                    ezdxf's virtual_entities
  blocks.py placed IN.dxf OUT.txt   the objects model space holds
  blocks.py audit IN.dxf            exit 1 with the problems ezdxf finds
  blocks.py count IN.dxf            objects the export converts, through
                                    model space and every reference
  blocks.py grid OUT.dxf N          one multiple insert of N x N copies of
                                    a block holding one 3D face
  blocks.py nested OUT.dxf DEPTH    ten references to a block of ten
                                    references, DEPTH levels deep, down to
                                    one 3D face: 10^(DEPTH+1) faces placed

A placed object is one line: its type family, layer, colour, whether it
carries the VRML_Application extended data, and its points rounded to
micrometres, sorted (a mirrored face may list its corners the other way).
Objects on layer SOLIDS are left out of expect and placed: ezdxf does not
place 3D solids."""
import math
import os
import sys

import ezdxf
from ezdxf import recover

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts"))
from cylinder_sat import cylinder_sat  # noqa: E402

APP = "VRML_Application"


def material(entity):
    entity.set_xdata(APP, [(1070, 1)] + [(1040, 0.5)] * 14)


def write(path, version, fmt="asc"):
    doc = ezdxf.new(version)
    doc.appids.new(APP)
    doc.layers.add("REF", color=3)
    doc.layers.add("OWN", color=5)
    doc.layers.add("SOLIDS", color=2)
    modern = version != "R12"

    parts = doc.blocks.new("PARTS", base_point=(1, 2, 3))
    face = parts.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], dxfattribs={"color": 0})
    face.dxf.invisible = 1 | 4
    material(face)
    parts.add_3dface([(0, 0, 1), (1, 0, 1), (1, 1, 2)], dxfattribs={"layer": "OWN"})
    cube = parts.add_polyface(dxfattribs={"color": 1})
    b = [(2, 0, 0), (3, 0, 0), (3, 1, 0), (2, 1, 0)]
    t = [(x, y, 1) for x, y, _ in b]
    cube.append_face(b[::-1])
    cube.append_face(t)
    for k in range(4):
        cube.append_face([b[k], b[(k + 1) % 4], t[(k + 1) % 4], t[k]])
    cube.optimize()
    grid = parts.add_polymesh(size=(3, 4), dxfattribs={"color": 0})
    for m in range(3):
        for n in range(4):
            grid.set_mesh_vertex((m, n), (4 + n, m, 0.1 * m * n))
    parts.add_solid([(0, 3), (1, 3), (0, 4), (1, 4)], dxfattribs={"color": 6})
    parts.add_solid([(2, 3), (3, 3), (2.5, 4)], dxfattribs={"thickness": 0.5})
    parts.add_line((0, 0, 0), (0, 0, 2), dxfattribs={"color": 0})
    if modern:
        mesh = parts.add_mesh(dxfattribs={"layer": "OWN"})
        with mesh.edit_data() as data:
            data.vertices = [(0, 5, 0), (1, 5, 0), (1.5, 5.5, 0), (1, 6, 0), (0, 6, 0), (-0.5, 5.5, 0)]
            data.faces = [(0, 1, 2, 3, 4, 5)]

    # Planar objects: placed only by maps that keep shapes.
    curves = doc.blocks.new("CURVES", base_point=(0, 0, 1))
    curves.add_circle((1, 1), 0.5, dxfattribs={"color": 0})
    curves.add_arc((3, 1), 1, 20, 160)
    curves.add_text("A", dxfattribs={"insert": (0, 3), "height": 0.5, "rotation": 15})
    if modern:
        curves.add_lwpolyline([(0, 5, 0, 0, 0.5), (2, 5), (2, 6)], format="xyseb")
        curves.add_ellipse((5, 5), major_axis=(2, 1, 0), ratio=0.5, start_param=0.5, end_param=4)

    nest = doc.blocks.new("NEST")
    nest.add_blockref("PARTS", (5, 0, 0), dxfattribs={"rotation": 45, "xscale": 2, "yscale": 2, "zscale": 2,
                                                      "color": 0})
    nest.add_3dface([(0, 0, 0), (2, 0, 0), (0, 2, 0)])

    msp = doc.modelspace()
    refs = [
        ("move", {"insert": (10, 0, 0)}),
        ("turn", {"insert": (0, 10, 0), "rotation": 30}),
        ("uniform", {"insert": (10, 10, 0), "xscale": 2, "yscale": 2, "zscale": 2}),
        ("stretch", {"insert": (20, 0, 0), "xscale": 1, "yscale": 2, "zscale": 3, "color": 4}),
        ("mirror", {"insert": (20, 10, 0), "xscale": -1}),
        ("tilted", {"insert": (0, 20, 5), "rotation": 20,
                    "extrusion": (0, 1 / math.sqrt(2), 1 / math.sqrt(2))}),
    ]
    for name, attribs in refs:
        msp.add_blockref("PARTS", attribs["insert"], dxfattribs=dict(attribs, layer="REF"))
        if name != "stretch":
            moved = dict(attribs, layer="REF", insert=ezdxf.math.Vec3(attribs["insert"]) + (0, 0, 30))
            msp.add_blockref("CURVES", moved["insert"], dxfattribs=moved)
    msp.add_blockref("NEST", (30, 20, 0), dxfattribs={"rotation": 10, "color": 4, "layer": "REF"})
    grid = msp.add_blockref("PARTS", (40, 0, 0), dxfattribs={"rotation": 15})
    grid.grid(size=(2, 3), spacing=(12, 15))
    msp.add_3dface([(0, -5, 0), (1, -5, 0), (1, -4, 0)], dxfattribs={"color": 2})

    if modern:
        solids = doc.blocks.new("SOLIDS")
        solid = solids.add_3dsolid(dxfattribs={"layer": "SOLIDS"})
        solid.sat = cylinder_sat(0, 0, 0, 1, 2).splitlines()
        msp.add_blockref("SOLIDS", (0, -20, 0), dxfattribs={"rotation": 30, "xscale": -2, "yscale": 2,
                                                             "zscale": 2})
        msp.add_blockref("SOLIDS", (10, -20, 0), dxfattribs={"xscale": 1, "yscale": 3, "zscale": 1})
    doc.saveas(path, fmt=fmt)


def points_of(e):
    """The points that place E (sizes, for curves, as points of their own)."""
    t = e.dxftype()
    if t in ("CIRCLE", "ARC"):
        pts = [e.ocs().to_wcs(e.dxf.center), (0, 0, e.dxf.radius)]
        return pts + ([e.start_point, e.end_point] if t == "ARC" else [])
    if t == "ELLIPSE":
        return [e.dxf.center, e.start_point, e.end_point, (0, 0, e.dxf.major_axis.magnitude)]
    if t == "TEXT":
        return [e.ocs().to_wcs(e.dxf.insert), (0, 0, e.dxf.height)]
    if t == "LWPOLYLINE":
        return list(e.vertices_in_wcs())
    if t == "3DFACE":
        return [e.dxf.get(f"vtx{k}") for k in range(4)]
    if t in ("SOLID", "TRACE"):
        pts = list(e.wcs_vertices())
        h = e.dxf.thickness
        if h:
            up = ezdxf.math.Vec3(e.dxf.extrusion).normalize(h)
            pts += [p + up for p in pts]
        return pts
    if t == "LINE":
        return [e.dxf.start, e.dxf.end]
    if t == "MESH":
        return list(e.vertices)
    if t == "POLYLINE":
        if e.is_poly_face_mesh:
            return [v.dxf.location for v in e.vertices if v.is_poly_face_mesh_vertex]
        return [v.dxf.location for v in e.vertices]
    return None


def family(e):
    # A MESH and the polyface meshes it explodes into hold the same points.
    return "MESH" if e.dxftype() in ("MESH", "POLYLINE") else e.dxftype()


def line(e, layer, colour):
    pts = points_of(e)
    if pts is None:
        return None
    rounded = sorted({tuple(round(c + 0.0, 6) + 0.0 for c in p) for p in pts})
    xdata = "x" if e.has_xdata(APP) else "-"
    return f"{family(e)} {layer} {colour} {xdata} " + " ".join("%.6f,%.6f,%.6f" % p for p in rounded)


def effective(e, layer, colour):
    """The layer and colour E shows under a reference on LAYER with COLOUR."""
    own_layer = e.dxf.layer
    own_colour = e.dxf.color
    placed_layer = layer if own_layer == "0" else own_layer
    placed_colour = colour if own_colour == 0 else own_colour
    return placed_layer, placed_colour


def layer_colour(doc, name):
    return abs(doc.layers.get(name).color) if doc.layers.has_entry(name) else 7


def expect(doc, entities, layer, colour, out):
    for e in entities:
        if e.dxftype() == "INSERT":
            ref_layer, ref_colour = effective(e, layer, colour)
            if ref_colour == 256:
                ref_colour = layer_colour(doc, ref_layer)
            copies = list(e.multi_insert()) if e.mcount > 1 else [e]
            for c in copies:
                expect(doc, list(c.virtual_entities()), ref_layer, ref_colour, out)
            continue
        placed_layer, placed_colour = effective(e, layer, colour)
        if placed_layer == "SOLIDS":
            continue
        text = line(e, placed_layer, placed_colour)
        if text:
            out.append(text)


def placed(doc, out):
    for e in doc.modelspace():
        if e.dxf.layer == "SOLIDS" or e.dxftype() == "INSERT":
            continue
        text = line(e, e.dxf.layer, e.dxf.color)
        if text:
            out.append(text)


def load(path):
    """The drawing at PATH and what reading it found wrong (recover reads
    text files only)."""
    with open(path, "rb") as f:
        binary = f.read(22).startswith(b"AutoCAD Binary DXF")
    if binary:
        return ezdxf.readfile(path), []
    doc, auditor = recover.readfile(path)
    return doc, [str(e.message) for e in auditor.errors]


def audit(path):
    doc, problems = load(path)
    audited = doc.audit()
    problems += [str(e.message) for e in audited.errors]
    if problems:
        print("\n".join(problems))
        return 1
    return 0


def exportable(doc, e):
    t = e.dxftype()
    if t == "POLYLINE":
        return e.is_poly_face_mesh or e.is_polygon_mesh
    return t in ("3DFACE", "SOLID", "3DSOLID", "BODY", "MESH")


def count(doc, entities, depth=0):
    n = 0
    for e in entities:
        if e.dxftype() == "INSERT":
            block = doc.blocks.get(e.dxf.name)
            sx, sy, sz = e.dxf.get("xscale", 1), e.dxf.get("yscale", 1), e.dxf.get("zscale", 1)
            if block is None or sx * sy * sz == 0 or depth > 32 or block.block.is_xref:
                continue
            n += e.mcount * count(doc, list(block), depth + 1)
        elif exportable(doc, e):
            n += 1
    return n


def face_block(doc, name):
    block = doc.blocks.new(name)
    block.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)])
    return block


def grid(path, n):
    doc = ezdxf.new("R2000")
    face_block(doc, "CELL")
    doc.modelspace().add_blockref("CELL", (0, 0, 0)).grid(size=(n, n), spacing=(2, 2))
    doc.saveas(path)


def nested(path, depth):
    doc = ezdxf.new("R2000")
    face_block(doc, "L0")
    for level in range(1, depth + 1):
        block = doc.blocks.new("L%d" % level)
        for i in range(10):
            block.add_blockref("L%d" % (level - 1), (i * 2, 0, 0))
    for i in range(10):
        doc.modelspace().add_blockref("L%d" % depth, (0, i * 2, 0))
    doc.saveas(path)


def main():
    command = sys.argv[1]
    if command in ("grid", "nested"):
        (grid if command == "grid" else nested)(sys.argv[2], int(sys.argv[3]))
        return 0
    if command == "write":
        write(sys.argv[2], sys.argv[3], *sys.argv[4:5])
        return 0
    if command == "audit":
        return audit(sys.argv[2])
    doc, _ = load(sys.argv[2])
    if command == "count":
        print(count(doc, list(doc.modelspace())))
        return 0
    out = []
    if command == "expect":
        expect(doc, list(doc.modelspace()), "0", 0, out)
    else:
        placed(doc, out)
    with open(sys.argv[3], "w") as f:
        f.write("\n".join(sorted(out)) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
