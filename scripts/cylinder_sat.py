"""Solid-model text of an upright cylinder, for drawings that hold 3D
solids and bodies: the sample drawing and the tests' drawings."""
import math


def cylinder_sat(cx, cy, z0, r, h):
    """Solid-model text (version 7.0) of an upright cylinder: centre of its
    base (cx, cy, z0), radius r, height h; its two circular edges run the
    full turn, 0 to 2 pi."""
    z1 = z0 + h
    turn = 2 * math.pi
    return "\n".join([
        "700 0 1 0",
        "@6 corvane @9 ACIS 7.0 @24 Mon Jan  1 00:00:00 2024",
        "1 9.9999999999999995e-007 1e-010",
        "body $-1 -1 $-1 $1 $-1 $-1 #",
        "lump $-1 -1 $-1 $-1 $2 $0 #",
        "shell $-1 -1 $-1 $-1 $-1 $3 $-1 $1 #",
        "face $-1 -1 $-1 $4 $6 $2 $-1 $22 forward single #",
        "face $-1 -1 $-1 $5 $8 $2 $-1 $23 forward single #",
        "face $-1 -1 $-1 $-1 $10 $2 $-1 $24 forward single #",
        "loop $-1 -1 $-1 $-1 $7 $3 #",
        "coedge $-1 -1 $-1 $7 $7 $11 $14 reversed $6 $-1 #",
        "loop $-1 -1 $-1 $-1 $9 $4 #",
        "coedge $-1 -1 $-1 $9 $9 $13 $15 forward $8 $-1 #",
        "loop $-1 -1 $-1 $12 $11 $5 #",
        "coedge $-1 -1 $-1 $11 $11 $7 $14 forward $10 $-1 #",
        "loop $-1 -1 $-1 $-1 $13 $5 #",
        "coedge $-1 -1 $-1 $13 $13 $9 $15 reversed $12 $-1 #",
        f"edge $-1 -1 $-1 $18 0 $18 {turn!r} $7 $16 forward @7 unknown #",
        f"edge $-1 -1 $-1 $19 0 $19 {turn!r} $9 $17 forward @7 unknown #",
        f"ellipse-curve $-1 -1 $-1 {cx!r} {cy!r} {z0!r} 0 0 1 {r!r} 0 0 1 I I #",
        f"ellipse-curve $-1 -1 $-1 {cx!r} {cy!r} {z1!r} 0 0 1 {r!r} 0 0 1 I I #",
        "vertex $-1 -1 $-1 $14 $20 #",
        "vertex $-1 -1 $-1 $15 $21 #",
        f"point $-1 -1 $-1 {cx + r!r} {cy!r} {z0!r} #",
        f"point $-1 -1 $-1 {cx + r!r} {cy!r} {z1!r} #",
        f"plane-surface $-1 -1 $-1 {cx!r} {cy!r} {z0!r} 0 0 -1 1 0 0 forward_v I I I I #",
        f"plane-surface $-1 -1 $-1 {cx!r} {cy!r} {z1!r} 0 0 1 1 0 0 forward_v I I I I #",
        f"cone-surface $-1 -1 $-1 {cx!r} {cy!r} {z0!r} 0 0 1 {r!r} 0 0 1 I I 0 1 {r!r} forward I I I I #",
        "End-of-ACIS-data",
    ])
