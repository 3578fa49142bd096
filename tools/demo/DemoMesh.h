// Triangle meshes for the demo content: tubes, ellipsoids, boxes and quads
// with outward normals and texture coordinates, every triangle wound
// clockwise seen from outside (the viewer culls counter-clockwise faces).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/demo/DemoMath.h"

struct MeshVertex {
    Vec3 p, n;
    float u = 0, v = 0;
    int16_t bone = 0;
};

// The part of a texture a shape maps onto: u from u0 to u1, v from v0 (top) to v1.
struct UvRect {
    float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};

class Mesh {
public:
    std::vector<MeshVertex> vertices;
    std::vector<int32_t> indices;
    int16_t bone = 0;  // bone of the vertices added next

    int32_t Add(Vec3 p, Vec3 n, float u, float v) {
        vertices.push_back({p, Normalised(n), u, v, bone});
        return static_cast<int32_t>(vertices.size()) - 1;
    }

    // A triangle, turned so that it runs clockwise seen from the side its
    // vertex normals point to.
    void Triangle(int32_t a, int32_t b, int32_t c) {
        const Vec3 pa = vertices[a].p, pb = vertices[b].p, pc = vertices[c].p;
        const Vec3 face = Cross(pb - pa, pc - pa);
        const Vec3 normal = vertices[a].n + vertices[b].n + vertices[c].n;
        if (Dot(face, normal) < 0) std::swap(b, c);
        indices.insert(indices.end(), {a, b, c});
    }
    void Quad(int32_t a, int32_t b, int32_t c, int32_t d) {
        Triangle(a, b, c);
        Triangle(a, c, d);
    }

    // A tube from p0 (radius r0) to p1 (radius r1), squashed by `flatten`
    // across the side axis; `segments` around; u runs around, v along.
    void Tube(Vec3 p0, Vec3 p1, float r0, float r1, int segments, UvRect uv, bool caps,
              float flatten = 1.0f) {
        const Vec3 axis = Normalised(p1 - p0);
        Vec3 side =
            std::fabs(axis.y) < 0.9f ? Cross(axis, Vec3{0, 1, 0}) : Cross(axis, Vec3{0, 0, 1});
        side = Normalised(side);
        const Vec3 front = Normalised(Cross(side, axis));
        const float slope = (r0 - r1) / std::sqrt(Dot(p1 - p0, p1 - p0));
        std::vector<int32_t> ring0, ring1;
        for (int s = 0; s <= segments; ++s) {
            const float a = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(segments);
            const Vec3 dir = side * (std::sin(a) * flatten) + front * (-std::cos(a));
            const Vec3 n =
                Normalised(side * (std::sin(a) / flatten) + front * (-std::cos(a)) + axis * slope);
            const float u =
                uv.u0 + (uv.u1 - uv.u0) * static_cast<float>(s) / static_cast<float>(segments);
            ring0.push_back(Add(p0 + dir * r0, n, u, uv.v0));
            ring1.push_back(Add(p1 + dir * r1, n, u, uv.v1));
        }
        for (int s = 0; s < segments; ++s) Quad(ring0[s], ring1[s], ring1[s + 1], ring0[s + 1]);
        if (caps) {
            Cap(p0, axis * -1.0f, r0, side, front, segments, uv, flatten);
            Cap(p1, axis, r1, side, front, segments, uv, flatten);
        }
    }

    // An ellipsoid around `centre`; `top` and `bottom` (0 = north pole,
    // 1 = south pole) cut it into a dome or band. u runs around from the back,
    // so u = 0.5 faces -z (the front of the character).
    void Ellipsoid(Vec3 centre, Vec3 radii, int slices, int stacks, UvRect uv, float top = 0.0f,
                   float bottom = 1.0f) {
        std::vector<std::vector<int32_t>> rows;
        for (int t = 0; t <= stacks; ++t) {
            const float f =
                top + (bottom - top) * static_cast<float>(t) / static_cast<float>(stacks);
            const float phi = kPi * f;
            std::vector<int32_t> row;
            for (int s = 0; s <= slices; ++s) {
                const float theta = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(slices);
                const Vec3 unit{std::sin(phi) * std::sin(theta), std::cos(phi),
                                std::sin(phi) * std::cos(theta)};
                const Vec3 p = centre + Vec3{unit.x * radii.x, unit.y * radii.y, unit.z * radii.z};
                const Vec3 n{unit.x / radii.x, unit.y / radii.y, unit.z / radii.z};
                const float u =
                    uv.u0 + (uv.u1 - uv.u0) * static_cast<float>(s) / static_cast<float>(slices);
                const float v =
                    uv.v0 + (uv.v1 - uv.v0) * static_cast<float>(t) / static_cast<float>(stacks);
                row.push_back(Add(p, n, u, v));
            }
            rows.push_back(row);
        }
        for (int t = 0; t < stacks; ++t) {
            for (int s = 0; s < slices; ++s) {
                const int32_t a = rows[t][s], b = rows[t][s + 1], c = rows[t + 1][s + 1],
                              d = rows[t + 1][s];
                if (vertices[a].p.x == vertices[b].p.x && vertices[a].p.z == vertices[b].p.z) {
                    Triangle(a, c, d);  // at a pole
                } else if (vertices[c].p.x == vertices[d].p.x &&
                           vertices[c].p.z == vertices[d].p.z) {
                    Triangle(a, b, c);
                } else {
                    Quad(a, b, c, d);
                }
            }
        }
    }

    // An axis-aligned box; every face maps the whole `uv` rectangle.
    void Box(Vec3 lo, Vec3 hi, UvRect uv) {
        const Vec3 c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z},
                           {lo.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z},
                           {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
        const int faces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7},
                                 {1, 5, 6, 2}, {3, 2, 6, 7}, {4, 5, 1, 0}};
        const Vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0},
                                 {1, 0, 0},  {0, 1, 0}, {0, -1, 0}};
        for (int f = 0; f < 6; ++f) {
            const int32_t a = Add(c[faces[f][0]], normals[f], uv.u0, uv.v1);
            const int32_t b = Add(c[faces[f][1]], normals[f], uv.u1, uv.v1);
            const int32_t d = Add(c[faces[f][2]], normals[f], uv.u1, uv.v0);
            const int32_t e = Add(c[faces[f][3]], normals[f], uv.u0, uv.v0);
            Quad(a, b, d, e);
        }
    }

    // A flat quadrilateral p0 p1 p2 p3 seen from the side `normal` points
    // to; u along p0 -> p1, v from p3 (top) to p0. `twoSided` adds the back.
    void Panel(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, Vec3 normal, UvRect uv, bool twoSided) {
        for (int side = 0; side < (twoSided ? 2 : 1); ++side) {
            const Vec3 n = side == 0 ? normal : normal * -1.0f;
            const int32_t a = Add(p0, n, uv.u0, uv.v1), b = Add(p1, n, uv.u1, uv.v1);
            const int32_t c = Add(p2, n, uv.u1, uv.v0), d = Add(p3, n, uv.u0, uv.v0);
            Quad(a, b, c, d);
        }
    }

    // Appends another mesh (keeping its bones).
    void Append(const Mesh& other) {
        const int32_t base = static_cast<int32_t>(vertices.size());
        vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
        for (int32_t i : other.indices) indices.push_back(base + i);
    }

private:
    void Cap(Vec3 centre, Vec3 normal, float r, Vec3 side, Vec3 front, int segments, UvRect uv,
             float flatten) {
        const float um = (uv.u0 + uv.u1) * 0.5f;
        const int32_t mid = Add(centre, normal, um, uv.v0);
        std::vector<int32_t> ring;
        for (int s = 0; s <= segments; ++s) {
            const float a = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(segments);
            const Vec3 dir = side * (std::sin(a) * flatten) + front * (-std::cos(a));
            ring.push_back(Add(centre + dir * r, normal, um + 0.1f * std::sin(a), uv.v0 + 0.1f));
        }
        for (int s = 0; s < segments; ++s) Triangle(mid, ring[s], ring[s + 1]);
    }
};
