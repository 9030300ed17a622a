#!/usr/bin/python3
"""Writes examples/pavilion.dxf, the sample drawing that `corvane export`
converts when no drawing is given: a small pavilion with every kind of
object the export converts, colours by layer and by object, stored
materials (the glass is transparent) and hyperlinks.

Run by hand when the scene changes (needs Debian's python3-ezdxf); the
result is committed."""
import math
import os
import sys

import ezdxf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cylinder_sat import cylinder_sat  # noqa: E402

out = sys.argv[1] if len(sys.argv) > 1 else "examples/pavilion.dxf"
doc = ezdxf.new("R2000")
doc.header["$INSUNITS"] = 6  # metres
msp = doc.modelspace()

for name, colour in [("FLOOR", 253), ("COLUMNS", 30), ("ROOF", 1), ("GLASS", 4),
                     ("TERRAIN", 3), ("FURNITURE", 5)]:
    doc.layers.add(name, color=colour)
for app in ("VRML_Application", "PE_URL", "VRML_Url_Data"):
    doc.appids.add(app)


def material(entity, use_drawing_colour, ambient, diffuse, emissive, specular,
             shininess, transparency):
    items = [(1070, use_drawing_colour)]
    for colour in (ambient, diffuse, emissive, specular):
        items += [(1040, v) for v in colour]
    items += [(1040, shininess), (1040, transparency)]
    entity.set_xdata("VRML_Application", items)


def link(entity, url, description):
    entity.set_xdata("PE_URL", [(1000, url)])
    entity.set_xdata("VRML_Url_Data", [(1000, description)])


# Floor: a grid of 3D faces, colour by layer.
for i in range(6):
    for j in range(4):
        x, y = i * 2.0, j * 2.0
        msp.add_3dface([(x, y, 0), (x + 2, y, 0), (x + 2, y + 2, 0), (x, y + 2, 0)],
                       dxfattribs={"layer": "FLOOR"})

# Columns: 2D solids with a thickness sweep square prisms.
for x, y in [(0.5, 0.5), (11.0, 0.5), (0.5, 7.0), (11.0, 7.0)]:
    msp.add_solid([(x, y), (x + 0.5, y), (x, y + 0.5), (x + 0.5, y + 0.5)],
                  dxfattribs={"layer": "COLUMNS", "thickness": 3.0})

# Roof: a polyface pyramid with a stored material and a link.
roof = msp.add_polyface(dxfattribs={"layer": "ROOF", "color": 1})
apex = (6.0, 4.0, 5.0)
corners = [(0.0, 0.0, 3.0), (12.0, 0.0, 3.0), (12.0, 8.0, 3.0), (0.0, 8.0, 3.0)]
for k in range(4):
    roof.append_face([corners[k], corners[(k + 1) % 4], apex])
roof.append_face(list(reversed(corners)))
roof.optimize()
material(roof, 1, (0.3, 0.3, 0.3), (0.8, 0.3, 0.2), (0, 0, 0), (0.4, 0.4, 0.4), 0.6, 0.0)
link(roof, "https://example.com/pavilion/roof.html", "The roof")

# Glass panels: 3D faces with a transparent material and their own colour.
for x0, x1 in [(2.0, 4.5), (7.5, 10.0)]:
    glass = msp.add_3dface([(x0, 8.0, 0), (x1, 8.0, 0), (x1, 8.0, 2.8), (x0, 8.0, 2.8)],
                           dxfattribs={"layer": "GLASS", "color": 150})
    material(glass, 0, (0.1, 0.3, 0.4), (0.6, 0.8, 0.9), (0, 0, 0), (0.9, 0.9, 0.9),
             0.9, 0.6)
    link(glass, "https://example.com/pavilion/glass.html", "North glazing")

# Terrain: a 24 x 16 polygon mesh, a gentle wave around the pavilion.
m, n = 24, 16
mesh = msp.add_polymesh(size=(m, n), dxfattribs={"layer": "TERRAIN"})
for i in range(m):
    for j in range(n):
        x = -6.0 + i * 1.0
        y = -4.0 + j * 1.0
        z = -0.05 - 0.4 * (1 + math.sin(x * 0.5) * math.cos(y * 0.5))
        mesh.set_mesh_vertex((i, j), (x, y, z))

# Furniture: a table of 2D solids, one bench as a polyface box.
msp.add_solid([(5.0, 3.5), (7.0, 3.5), (5.0, 4.5), (7.0, 4.5)],
              dxfattribs={"layer": "FURNITURE", "thickness": 0.05, "elevation": 0.75})
bench = msp.add_polyface(dxfattribs={"layer": "FURNITURE", "color": 42})
b = [(5.0, 2.5, 0), (7.0, 2.5, 0), (7.0, 3.0, 0), (5.0, 3.0, 0)]
t = [(x, y, 0.45) for x, y, _ in b]
bench.append_face(list(reversed(b)))
bench.append_face(t)
for k in range(4):
    bench.append_face([b[k], b[(k + 1) % 4], t[(k + 1) % 4], t[k]])
bench.optimize()
link(bench, "https://example.com/pavilion/bench.html", "A bench")

# A round side table: its top a 3D solid, its leg a body, both cylinders
# kept as solid-model text.
top = msp.add_3dsolid(dxfattribs={"layer": "FURNITURE", "color": 42})
top.sat = cylinder_sat(9.5, 5.0, 0.72, 0.5, 0.04).splitlines()
leg = msp.add_body(dxfattribs={"layer": "FURNITURE", "color": 250})
leg.sat = cylinder_sat(9.5, 5.0, 0.0, 0.08, 0.72).splitlines()
link(top, "https://example.com/pavilion/table.html", "The side table")

# Lines and text are not converted; they are counted as ignored objects.
msp.add_line((0, -1, 0), (12, -1, 0), dxfattribs={"color": 2})
msp.add_text("Pavilion", dxfattribs={"height": 0.5, "insert": (0, -2)})

doc.saveas(out)
print("wrote", out)
