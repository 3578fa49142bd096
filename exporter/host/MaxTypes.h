// Basic types, class identifiers and geometry of the 3D package's plug-in
// interface, shaped like its SDK: ticks, class IDs, Point3, Quat, Matrix3
// (row-vector convention: a point is a row multiplied on the left, row 3 is
// the translation), AffineParts, Interval, Tab and CStr, plus the global
// geometry helpers the exporter calls.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using BOOL = int;
using DWORD = unsigned long;
using ULONG = unsigned long;
using TimeValue = int32_t;  // host ticks, 4800 per second
using SClass_ID = unsigned long;
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr int TIME_TICKSPERSEC = 4800;
constexpr TimeValue TIME_NegInfinity = static_cast<TimeValue>(0x80000000u);
constexpr TimeValue TIME_PosInfinity = 0x7fffffff;

// Super classes.
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x10;
constexpr SClass_ID CAMERA_CLASS_ID = 0x20;
constexpr SClass_ID LIGHT_CLASS_ID = 0x30;
constexpr SClass_ID HELPER_CLASS_ID = 0x70;
constexpr SClass_ID MATERIAL_CLASS_ID = 0xC00;
constexpr SClass_ID TEXMAP_CLASS_ID = 0xC10;
constexpr SClass_ID CTRL_MATRIX3_CLASS_ID = 0x9008;
constexpr SClass_ID SCENE_EXPORT_CLASS_ID = 0xA20;

constexpr DWORD SCENE_EXPORT_SELECTED = 1;
// This host's own export option: objects above the Tessel file's vertex
// limit are written as several records instead of an empty one.
constexpr DWORD SCENE_EXPORT_SPLIT_LARGE = 0x100;
constexpr unsigned long VERSION_3DSMAX = 0x0C1C0700;  // release 3100, API 7, SDK revision 0

class Class_ID {
public:
    constexpr Class_ID() : a(0xFFFFFFFFul), b(0xFFFFFFFFul) {}
    constexpr Class_ID(unsigned long aa, unsigned long bb) : a(aa), b(bb) {}
    constexpr unsigned long PartA() const { return a; }
    constexpr unsigned long PartB() const { return b; }
    constexpr bool operator==(const Class_ID& o) const { return a == o.a && b == o.b; }
    constexpr bool operator!=(const Class_ID& o) const { return !(*this == o); }

private:
    unsigned long a, b;
};

// Class IDs the exporter tests, and those the host gives its own objects.
constexpr unsigned long TRIOBJ_CLASS_ID = 9;
constexpr unsigned long DMTL_CLASS_ID = 2;
constexpr unsigned long BMTEX_CLASS_ID = 0x240;
constexpr unsigned long MULTI_CLASS_ID = 0x200;
constexpr unsigned long CHECKER_CLASS_ID = 0x200;
constexpr unsigned long TARGET_CLASS_ID = 0x1020;
constexpr unsigned long SIMPLE_CAM_CLASS_ID = 0x1001;
constexpr unsigned long OMNI_LIGHT_CLASS_ID = 0x1011;
constexpr unsigned long PRS_CONTROL_CLASS_ID = 0x2005;
constexpr unsigned long BIPSLAVE_CONTROL_CLASS_ID = 0x9154;
constexpr unsigned long BIPBODY_CONTROL_CLASS_ID = 0x9156;
constexpr unsigned long FOOTPRINT_CLASS_ID = 0x3011;
constexpr Class_ID DUMMY_CLASS_ID(0x876234, 0);
constexpr Class_ID BONE_OBJ_CLASSID(0x28bf6e8d, 0x2ecca840);

// ---------------------------------------------------------------------------
class Point3 {
public:
    float x = 0, y = 0, z = 0;
    Point3() = default;
    Point3(float X, float Y, float Z) : x(X), y(Y), z(Z) {}
    Point3(double X, double Y, double Z)
        : x(static_cast<float>(X)), y(static_cast<float>(Y)), z(static_cast<float>(Z)) {}
    float& operator[](int i) { return (&x)[i]; }
    const float& operator[](int i) const { return (&x)[i]; }
    Point3 operator+(const Point3& p) const { return {x + p.x, y + p.y, z + p.z}; }
    Point3 operator-(const Point3& p) const { return {x - p.x, y - p.y, z - p.z}; }
    Point3 operator-() const { return {-x, -y, -z}; }
    Point3 operator*(float f) const { return {x * f, y * f, z * f}; }
    Point3 operator/(float f) const { return {x / f, y / f, z / f}; }
    Point3& operator+=(const Point3& p) {
        x += p.x;
        y += p.y;
        z += p.z;
        return *this;
    }
    Point3& operator-=(const Point3& p) {
        x -= p.x;
        y -= p.y;
        z -= p.z;
        return *this;
    }
    Point3& operator*=(float f) {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    bool operator==(const Point3& p) const { return x == p.x && y == p.y && z == p.z; }
    bool operator!=(const Point3& p) const { return !(*this == p); }
    float Length() const;
    float LengthSquared() const { return x * x + y * y + z * z; }
    // Unit vector in the same direction. A zero or non-finite vector has no
    // direction; it becomes (0, 0, 0) instead of dividing by zero.
    Point3 Normalize() const;
};
inline Point3 operator*(float f, const Point3& p) {
    return p * f;
}
using UVVert = Point3;

Point3 Normalize(const Point3& p);
Point3 CrossProd(const Point3& a, const Point3& b);
float DotProd(const Point3& a, const Point3& b);

// Unit quaternion (x, y, z, w) of a rotation.
class Quat {
public:
    float x = 0, y = 0, z = 0, w = 1;
    Quat() = default;
    Quat(float X, float Y, float Z, float W) : x(X), y(Y), z(Z), w(W) {}
    explicit Quat(const class Matrix3& m);  // rotation part of an orthonormal matrix
    bool operator==(const Quat& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    void Normalize();
    void MakeMatrix(class Matrix3& m) const;  // rotation matrix, translation cleared
};

// 4 rows of 3: rows 0-2 the axes, row 3 the translation. Transforming a point
// p gives p.x*row0 + p.y*row1 + p.z*row2 + row3; a product A*B applies A
// first, then B.
class Matrix3 {
public:
    Matrix3() { IdentityMatrix(); }
    explicit Matrix3(int init) {
        if (init)
            IdentityMatrix();
        else
            Zero();
    }
    Matrix3(const Point3& r0, const Point3& r1, const Point3& r2, const Point3& r3) {
        m[0] = r0;
        m[1] = r1;
        m[2] = r2;
        m[3] = r3;
    }
    void IdentityMatrix();
    void Zero();
    Point3 GetRow(int i) const { return m[i]; }
    void SetRow(int i, const Point3& p) { m[i] = p; }
    Point3 GetTrans() const { return m[3]; }
    void SetTrans(const Point3& p) { m[3] = p; }
    void NoTrans() { m[3] = Point3(0.0f, 0.0f, 0.0f); }
    Matrix3 operator*(const Matrix3& b) const;
    Matrix3& operator*=(const Matrix3& b) { return *this = *this * b; }
    bool operator==(const Matrix3& b) const;
    // Determinant of the 3x3 part.
    float Determinant() const;

private:
    Point3 m[4];
};

// Transform of a point, translation included (both operand orders, as in the SDK).
Point3 operator*(const Point3& p, const Matrix3& m);
Point3 operator*(const Matrix3& m, const Point3& p);
Point3 VectorTransform(const Matrix3& m, const Point3& p);

// Inverse of an affine transform. A matrix whose 3x3 part is singular (or not
// finite) has no inverse; the result is then the identity, a defined value
// instead of a division by zero.
Matrix3 Inverse(const Matrix3& m);
// True when the 3x3 part can be inverted.
bool IsInvertible(const Matrix3& m);

// Decomposition of an affine transform: translation t, essential rotation q,
// stretch rotation u, stretch factors k and sign f (the transform is
// t * f * q * (u k u^-1) in column terms).
struct AffineParts {
    Point3 t;
    Quat q;
    Quat u;
    Point3 k;
    float f = 1.0f;
};
void decomp_affine(const Matrix3& A, AffineParts* parts);
// Angle in radians (0 to pi) and unit axis of a rotation quaternion.
void AngAxisFromQ(const Quat& q, float* ang, Point3& axis);

// Animation interval [start, end] in ticks.
class Interval {
public:
    Interval() : start(TIME_NegInfinity), end(TIME_NegInfinity) {}  // empty ("never")
    Interval(TimeValue s, TimeValue e) : start(s), end(e) {}
    TimeValue Start() const { return start; }
    TimeValue End() const { return end; }
    void Set(TimeValue s, TimeValue e) {
        start = s;
        end = e;
    }
    bool Empty() const { return start == TIME_NegInfinity && end == TIME_NegInfinity; }
    int InInterval(TimeValue t) const { return !Empty() && start <= t && t <= end; }
    bool operator==(const Interval& o) const { return start == o.start && end == o.end; }

private:
    TimeValue start, end;
};
const Interval FOREVER(TIME_NegInfinity, TIME_PosInfinity);
const Interval NEVER;

// The SDK's assertion: reports the file and line through the host and returns.
void assert1(int line, const char* file);
#define TESSEL_ASSERT1(expr) ((expr) ? (void)0 : assert1(__LINE__, __FILE__))

// Growable table of plain values, with the SDK table's operations.
template <class T>
class Tab {
public:
    int Count() const { return static_cast<int>(items.size()); }
    // An index out of range raises the SDK's assertion and then reads a
    // cleared scratch entry instead of memory outside the table.
    T& operator[](int i) {
        if (i < 0 || i >= Count()) return OutOfRange(__LINE__);
        return items[static_cast<size_t>(i)];
    }
    const T& operator[](int i) const {
        if (i < 0 || i >= Count()) return OutOfRange(__LINE__);
        return items[static_cast<size_t>(i)];
    }
    // Appends num entries; when the storage is full it grows by num + allocExtra
    // entries. Returns the index of the first appended entry.
    int Append(int num, const T* el, int allocExtra = 0) {
        if (num <= 0) return Count();
        if (items.size() + static_cast<size_t>(num) > items.capacity())
            items.reserve(items.size() + static_cast<size_t>(num) +
                          static_cast<size_t>(allocExtra > 0 ? allocExtra : 0));
        const int at = Count();
        items.insert(items.end(), el, el + num);
        return at;
    }
    int Capacity() const { return static_cast<int>(items.capacity()); }

private:
    static T& OutOfRange(int line) {
        assert1(line, __FILE__);
        static T scratch;
        scratch = T();
        return scratch;
    }
    std::vector<T> items;
};

// Byte string of the SDK's utility library.
class CStr {
public:
    CStr() = default;
    CStr(const char* s) : str(s ? s : "") {}
    CStr(const std::string& s) : str(s) {}
    const char* data() const { return str.c_str(); }
    operator const char*() const { return str.c_str(); }
    int Length() const { return static_cast<int>(str.size()); }
    int length() const { return Length(); }
    char& operator[](int i) { return str[static_cast<size_t>(i)]; }
    char operator[](int i) const { return str[static_cast<size_t>(i)]; }
    bool operator==(const CStr& o) const { return str == o.str; }
    const std::string& Std() const { return str; }

private:
    std::string str;
};
using TSTR = CStr;

// Ticks per frame of the current scene (4800 / frame rate).
int GetTicksPerFrame();
// Set by the host when it loads a scene.
void SetTicksPerFrame(int ticks);

// Control initialisation of the SDK and the common controls. The host's
// windows need no set-up; the calls are counted so that a plug-in's single
// initialisation can be checked.
void InitCustomControls(HINSTANCE hinst);
void InitCommonControls();
int CustomControlsInitCount();
