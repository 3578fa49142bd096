#!/usr/bin/env python3
"""Writes the hand-made seed files of the fuzz corpora that the demo content
does not provide: scenes for fuzz_scene (glTF with embedded data, the same
as GLB, OBJ) and small bitmaps of every BMP layout for fuzz_bmp.
Usage: fuzz/make_seeds.py [FUZZ_DIR]  (default: the directory of this script)"""
import base64
import json
import math
import os
import struct
import sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))


class Buffer:
    """One glTF buffer with its views and accessors."""

    def __init__(self):
        self.data = bytearray()
        self.views = []
        self.accessors = []

    def add(self, fmt, values, kind, ctype, target=None, minmax=False):
        while len(self.data) % 4:
            self.data.append(0)
        raw = struct.pack("<" + fmt * len(values), *values)
        view = {"buffer": 0, "byteOffset": len(self.data), "byteLength": len(raw)}
        if target:
            view["target"] = target
        self.data += raw
        self.views.append(view)
        width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}[kind]
        acc = {"bufferView": len(self.views) - 1, "componentType": ctype,
               "count": len(values) // width, "type": kind}
        if minmax:
            acc["min"] = [min(values[i::width]) for i in range(width)]
            acc["max"] = [max(values[i::width]) for i in range(width)]
        self.accessors.append(acc)
        return len(self.accessors) - 1

    def floats(self, values, kind, minmax=False):
        return self.add("f", values, kind, 5126, minmax=minmax)


def box(h):
    p, uv, idx = [], [], []
    faces = [((0, 0, 1), (1, 0, 0), (0, 1, 0)), ((0, 0, -1), (-1, 0, 0), (0, 1, 0)),
             ((1, 0, 0), (0, 0, -1), (0, 1, 0)), ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
             ((0, 1, 0), (1, 0, 0), (0, 0, -1)), ((0, -1, 0), (1, 0, 0), (0, 0, 1))]
    for n, u, v in faces:
        base = len(p) // 3
        for su, sv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            for k in range(3):
                p.append(h * (n[k] + su * u[k] + sv * v[k]))
            uv += [(su + 1) / 2, (sv + 1) / 2]
        idx += [base, base + 1, base + 2, base, base + 2, base + 3]
    return p, uv, idx


def quat(axis, degrees):
    s = math.sin(math.radians(degrees) / 2)
    return [axis[0] * s, axis[1] * s, axis[2] * s, math.cos(math.radians(degrees) / 2)]


def scene():
    b = Buffer()
    gl = {"asset": {"version": "2.0"}, "scenes": [{"nodes": []}], "scene": 0, "nodes": [], "meshes": [],
          "materials": [{"name": "Brick", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}},
                        {"name": "Paint", "pbrMetallicRoughness": {"baseColorFactor": [0.8, 0.2, 0.1, 1]}}],
          "images": [{"uri": "brick.bmp"}], "textures": [{"source": 0}],
          "animations": [{"name": "Take", "samplers": [], "channels": []}], "skins": []}

    def node(name, parent=None, **kw):
        gl["nodes"].append(dict(name=name, **kw))
        i = len(gl["nodes"]) - 1
        if parent is None:
            gl["scenes"][0]["nodes"].append(i)
        else:
            gl["nodes"][parent].setdefault("children", []).append(i)
        return i

    def animate(n, path, times, values, interpolation="LINEAR"):
        kind = {"rotation": "VEC4", "weights": "SCALAR"}.get(path, "VEC3")
        a = gl["animations"][0]
        a["samplers"].append({"input": b.floats(times, "SCALAR", True), "output": b.floats(values, kind),
                              "interpolation": interpolation})
        a["channels"].append({"sampler": len(a["samplers"]) - 1, "target": {"node": n, "path": path}})

    p, uv, idx = box(1.0)
    p2, _, idx2 = box(0.5)
    gl["meshes"].append({"name": "BoxMesh", "primitives": [
        {"attributes": {"POSITION": b.floats(p, "VEC3", True), "TEXCOORD_0": b.floats(uv, "VEC2")},
         "indices": b.add("I", idx, "SCALAR", 5125), "material": 0},
        {"attributes": {"POSITION": b.floats(p2, "VEC3", True)},
         "indices": b.add("H", idx2, "SCALAR", 5123), "material": 1}]})
    yard = node("Yard", translation=[0, 0, 2])
    node("Crate", yard, mesh=0)
    cart = node("Cart", yard, mesh=0)
    animate(cart, "translation", [0, 1, 2], [0, 0, 0, 4, 0, 0, 4, 0, 3])
    lamp = node("Lamp", yard, mesh=0, scale=[1, 2, 1])
    animate(lamp, "rotation", [0, 1], quat((0, 1, 0), 0) + quat((0, 1, 0), 90), "STEP")
    animate(lamp, "scale", [0, 0.5, 1], [1, 2, 1, 0, 0, 0, 0, 0, 0, 2, 2, 2, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 0,
                                          0, 0, 0], "CUBICSPLINE")

    # A biped: a hip and a shin, and a skinned leg on them.
    bip = node("Bip01", translation=[0, 1, 0])
    spine = node("Bip01 Spine", bip)
    shin = node("Bip01 L Calf", spine, translation=[0, -0.5, 0])
    animate(shin, "rotation", [0, 1, 2], quat((1, 0, 0), 0) + quat((1, 0, 0), 45) + quat((1, 0, 0), 0))
    leg = [0, 0, 0, 0.2, 0, 0, 0, -0.5, 0, 0.2, -0.5, 0, 0, -1, 0, 0.2, -1, 0]
    joints = [0, 0, 0, 0] * 2 + [0, 1, 0, 0] * 2 + [1, 0, 0, 0] * 2
    weights = [1, 0, 0, 0] * 2 + [0.5, 0.5, 0, 0] * 2 + [1, 0, 0, 0] * 2
    gl["meshes"].append({"name": "LegMesh", "primitives": [{"attributes": {
        "POSITION": b.floats(leg, "VEC3", True), "JOINTS_0": b.add("B", joints, "VEC4", 5121),
        "WEIGHTS_0": b.floats(weights, "VEC4")}, "indices": b.add("H", [0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4],
                                                                    "SCALAR", 5123)}]})
    identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]
    calf = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5, 0, 1]
    gl["skins"].append({"joints": [spine, shin], "inverseBindMatrices": b.floats(identity + calf, "MAT4")})
    node("Leg", mesh=1, skin=0)

    # A flag that waves by a morph target.
    cloth = [0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0]
    wave = [0, 0, 0, 0, 0, 0.3, 0, 0, 0, 0, 0, -0.3]
    gl["meshes"].append({"name": "FlagMesh", "weights": [0], "primitives": [{"attributes": {
        "POSITION": b.floats(cloth, "VEC3", True), "TEXCOORD_0": b.floats([0, 0, 1, 0, 0, 1, 1, 1], "VEC2")},
        "targets": [{"POSITION": b.floats(wave, "VEC3", True)}],
        "indices": b.add("H", [0, 1, 2, 1, 3, 2], "SCALAR", 5123), "material": 0}]})
    flag = node("Flag", mesh=2, translation=[3, 2, 0])
    animate(flag, "weights", [0, 1, 2], [0, 1, 0])
    node("Camera01", camera=0, translation=[0, 2, 8])
    gl["cameras"] = [{"type": "perspective", "perspective": {"yfov": 0.8, "znear": 0.1, "zfar": 100}}]
    gl["bufferViews"] = b.views
    gl["accessors"] = b.accessors
    return gl, bytes(b.data)


def write(name, data):
    os.makedirs(os.path.dirname(os.path.join(out, name)), exist_ok=True)
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


gl, data = scene()
embedded = dict(gl)
embedded["buffers"] = [{"byteLength": len(data),
                        "uri": "data:application/octet-stream;base64," + base64.b64encode(data).decode()}]
write("corpus/scene/yard.gltf", json.dumps(embedded, indent=1).encode())

glb = dict(gl)
glb["buffers"] = [{"byteLength": len(data)}]
js = json.dumps(glb, separators=(",", ":")).encode()
js += b" " * (-len(js) % 4)
bin_ = data + b"\0" * (-len(data) % 4)
write("corpus/scene/yard.glb", struct.pack("<4sII", b"glTF", 2, 12 + 8 + len(js) + 8 + len(bin_)) +
      struct.pack("<I4s", len(js), b"JSON") + js + struct.pack("<I4s", len(bin_), b"BIN\0") + bin_)

write("corpus/scene/village.obj", b"""# a wall and a roof
mtllib village.mtl
o Wall
v 0 0 0
v 4 0 0
v 4 3 0
v 0 3 0
vt 0 0
vt 1 0
vt 1 1
vt 0 1
vn 0 0 1
usemtl Brick
f 1/1/1 2/2/1 3/3/1 4/4/1
o Roof
v 0 3 0
v 4 3 0
v 2 5 -1
vt 0.5 1
usemtl Thatch
f 5/1 6/2 7/5
g Post
v 5 0 0
v 5.2 0 0
v 5.2 2 0
f -3 -2 -1
""")


# Bitmaps: 4 x 3 pixels in every layout the BMP format has.
def bmp(bits, compression=0, palette=None, rows=None, top_down=False, masks=None, core=False):
    w, h = 4, 3
    if rows is None:
        stride = ((w * bits + 31) // 32) * 4
        rows = b""
        for y in range(h):
            row = bytearray()
            if bits == 24:
                for x in range(w):
                    row += bytes((x * 60, y * 80, 200))
            elif bits == 32:
                for x in range(w):
                    row += bytes((x * 60, y * 80, 200, 128 + x * 30))
            elif bits == 16:
                for x in range(w):
                    row += struct.pack("<H", (x * 7) << 10 | (y * 9) << 5 | 20)
            elif bits == 8:
                row += bytes((x + y) % 4 for x in range(w))
            elif bits == 4:
                row += bytes(((x % 4) << 4) | ((x + 1 + y) % 4) for x in range(0, w, 2))
            elif bits == 1:
                row += bytes((0b10100000 >> y,))
            row += b"\0" * (stride - len(row))
            rows += bytes(row)
    pal = b""
    if palette:
        pal = b"".join(bytes((b_, g, r, 0)) for r, g, b_ in palette) if not core else \
            b"".join(bytes((b_, g, r)) for r, g, b_ in palette)
    if core:
        header = struct.pack("<IHHHH", 12, w, h, 1, bits)
    else:
        header = struct.pack("<IiiHHIIiiII", 40, w, -h if top_down else h, 1, bits, compression, len(rows),
                             2835, 2835, len(palette or []), 0)
    extra = struct.pack("<III", *masks) if masks else b""
    offset = 14 + len(header) + len(extra) + len(pal)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + extra + pal + rows


four = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)]
write("corpus/bmp/24-bit.bmp", bmp(24))
write("corpus/bmp/24-bit-top-down.bmp", bmp(24, top_down=True))
write("corpus/bmp/32-bit.bmp", bmp(32))
write("corpus/bmp/16-bit-bitfields.bmp", bmp(16, compression=3, masks=(0x7C00, 0x03E0, 0x001F)))
write("corpus/bmp/8-bit-palette.bmp", bmp(8, palette=four))
write("corpus/bmp/4-bit-palette.bmp", bmp(4, palette=four))
write("corpus/bmp/1-bit.bmp", bmp(1, palette=four[:2]))
write("corpus/bmp/os2-core-1-bit.bmp", bmp(1, palette=four[:2], core=True))
# Run-length 8: a run of 4, then a literal of 4 (absolute mode), then end of bitmap.
write("corpus/bmp/8-bit-rle.bmp", bmp(8, compression=1, palette=four,
                                       rows=b"\x04\x01\x00\x00" + b"\x00\x04\x00\x01\x02\x03\x00\x00"
                                            + b"\x00\x02\x01\x00" + b"\x00\x01"))
write("corpus/bmp/4-bit-rle.bmp", bmp(4, compression=2, palette=four,
                                       rows=b"\x04\x12\x00\x00" + b"\x04\x30\x00\x00" + b"\x04\x21\x00\x01"))
