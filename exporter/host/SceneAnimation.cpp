#include "exporter/host/SceneAnimation.h"

#include <algorithm>
#include <cmath>

namespace {
// Index i of the segment [keys[i], keys[i+1]] holding t and the fraction
// within it; i is -1 before the first key and the last index after the last.
template <class K>
int FindSegment(const std::vector<K>& keys, double t, double& fraction) {
    fraction = 0.0;
    if (keys.empty()) return -1;
    if (t < keys.front().time) return -1;
    // First key strictly after t; the key before it is the segment start, so
    // a time shared by two keys takes the later one (a jump).
    auto it = std::upper_bound(keys.begin(), keys.end(), t,
                               [](double v, const K& k) { return v < k.time; });
    const int i = static_cast<int>(it - keys.begin()) - 1;
    if (i + 1 >= static_cast<int>(keys.size())) return i;
    const double span = keys[i + 1].time - keys[i].time;
    fraction = span > 0 ? (t - keys[i].time) / span : 0.0;
    return i;
}
// Hermite basis at fraction f of a segment `span` ticks long: weights of the
// start value, start out-tangent, end value and end in-tangent.
void Hermite(double f, double span, double w[4]) {
    const double f2 = f * f, f3 = f2 * f;
    w[0] = 2 * f3 - 3 * f2 + 1;
    w[1] = (f3 - 2 * f2 + f) * span;
    w[2] = -2 * f3 + 3 * f2;
    w[3] = (f3 - f2) * span;
}
}  // namespace

Point3 SampleVec(const std::vector<VecKey>& keys, double t, KeyInterpolation mode) {
    if (keys.empty()) return Point3(0.0f, 0.0f, 0.0f);
    double f;
    const int i = FindSegment(keys, t, f);
    if (i < 0) return keys.front().value;
    if (i + 1 >= static_cast<int>(keys.size()) || mode == KeyInterpolation::Step)
        return keys[i].value;
    const Point3& a = keys[i].value;
    const Point3& b = keys[i + 1].value;
    if (mode == KeyInterpolation::Cubic) {
        double w[4];
        Hermite(f, keys[i + 1].time - keys[i].time, w);
        const Point3& ta = keys[i].outTangent;
        const Point3& tb = keys[i + 1].inTangent;
        return Point3(w[0] * a.x + w[1] * ta.x + w[2] * b.x + w[3] * tb.x,
                      w[0] * a.y + w[1] * ta.y + w[2] * b.y + w[3] * tb.y,
                      w[0] * a.z + w[1] * ta.z + w[2] * b.z + w[3] * tb.z);
    }
    return Point3(a.x + (double(b.x) - a.x) * f, a.y + (double(b.y) - a.y) * f,
                  a.z + (double(b.z) - a.z) * f);
}

Quat Slerp(const Quat& a, const Quat& b, float f) {
    double ax = a.x, ay = a.y, az = a.z, aw = a.w;
    double bx = b.x, by = b.y, bz = b.z, bw = b.w;
    double cosom = ax * bx + ay * by + az * bz + aw * bw;
    if (cosom < 0) {  // the shorter arc
        cosom = -cosom;
        bx = -bx;
        by = -by;
        bz = -bz;
        bw = -bw;
    }
    double s0, s1;
    if (1.0 - cosom > 1e-6) {
        const double omega = std::acos(std::min(1.0, cosom));
        const double sinom = std::sin(omega);
        s0 = std::sin((1.0 - f) * omega) / sinom;
        s1 = std::sin(f * omega) / sinom;
    } else {
        s0 = 1.0 - f;
        s1 = f;
    }
    Quat q(static_cast<float>(s0 * ax + s1 * bx), static_cast<float>(s0 * ay + s1 * by),
           static_cast<float>(s0 * az + s1 * bz), static_cast<float>(s0 * aw + s1 * bw));
    q.Normalize();
    return q;
}

Quat SampleRot(const std::vector<RotKey>& keys, double t, KeyInterpolation mode) {
    if (keys.empty()) return Quat();
    double f;
    const int i = FindSegment(keys, t, f);
    if (i < 0) return keys.front().value;
    if (i + 1 >= static_cast<int>(keys.size()) || mode == KeyInterpolation::Step)
        return keys[i].value;
    if (mode == KeyInterpolation::Cubic) {
        double w[4];
        Hermite(f, keys[i + 1].time - keys[i].time, w);
        const Quat* q[4] = {&keys[i].value, &keys[i].outTangent, &keys[i + 1].value,
                            &keys[i + 1].inTangent};
        double c[4] = {0, 0, 0, 0};
        for (int k = 0; k < 4; ++k) {
            c[0] += w[k] * q[k]->x;
            c[1] += w[k] * q[k]->y;
            c[2] += w[k] * q[k]->z;
            c[3] += w[k] * q[k]->w;
        }
        Quat out(static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]),
                 static_cast<float>(c[3]));
        out.Normalize();
        return out;
    }
    return Slerp(keys[i].value, keys[i + 1].value, static_cast<float>(f));
}

std::vector<float> SampleMorph(const std::vector<MorphKey>& keys, double t, int targetCount,
                               KeyInterpolation mode) {
    std::vector<float> out(targetCount > 0 ? static_cast<size_t>(targetCount) : 0, 0.0f);
    if (keys.empty()) return out;
    auto weightsOf = [&](const MorphKey& k) {
        std::vector<float> w(out.size(), 0.0f);
        for (const auto& [target, weight] : k.weights)
            if (target >= 0 && target < targetCount) w[static_cast<size_t>(target)] = weight;
        return w;
    };
    double f;
    const int i = FindSegment(keys, t, f);
    if (i < 0) return weightsOf(keys.front());
    if (i + 1 >= static_cast<int>(keys.size()) || mode == KeyInterpolation::Step)
        return weightsOf(keys[i]);
    const std::vector<float> a = weightsOf(keys[i]);
    const std::vector<float> b = weightsOf(keys[i + 1]);
    for (size_t k = 0; k < out.size(); ++k)
        out[k] = static_cast<float>(a[k] + (double(b[k]) - a[k]) * f);
    return out;
}

Matrix3 ComposeTransform(const Point3& translation, const Quat& rotation, const Point3& scale) {
    Matrix3 m;
    rotation.MakeMatrix(m);
    for (int r = 0; r < 3; ++r) m.SetRow(r, m.GetRow(r) * scale[r]);
    m.SetTrans(translation);
    return m;
}
