// Scene interfaces of the 3D package's plug-in SDK, with the operations the
// exporter calls: nodes, evaluated objects, triangle meshes, materials and
// texture maps, transform controllers, the host interface, and the plug-in
// contract (class descriptor and scene exporter).
#pragma once

#include "exporter/host/MaxTypes.h"

class Animatable {
public:
    virtual ~Animatable() = default;
    virtual Class_ID ClassID() = 0;
    virtual SClass_ID SuperClassID() = 0;
};

// ----------------------------------------------------------------- materials
class Texmap;

class MtlBase : public Animatable {
public:
    virtual CStr GetName() = 0;
    virtual int NumSubTexmaps() = 0;
    virtual Texmap* GetSubTexmap(int i) = 0;
};

class Texmap : public MtlBase {
public:
    SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
};

class BitmapTex : public Texmap {
public:
    Class_ID ClassID() override { return Class_ID(BMTEX_CLASS_ID, 0); }
    // The bitmap's file path, as the package stores it (backslash separated).
    virtual const char* GetMapName() = 0;
};

class Mtl : public MtlBase {
public:
    SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }
    virtual int NumSubMtls() = 0;
    virtual Mtl* GetSubMtl(int i) = 0;
};

// Map slots of the standard material.
enum {
    ID_AM = 0,   // ambient
    ID_DI = 1,   // diffuse
    ID_SP = 2,   // specular
    ID_SH = 3,   // shininess
    ID_SS = 4,   // shininess strength
    ID_SI = 5,   // self-illumination
    ID_OP = 6,   // opacity
    ID_FI = 7,   // filter colour
    ID_BU = 8,   // bump
    ID_RL = 9,   // reflection
    ID_RR = 10,  // refraction
    ID_DP = 11,  // displacement
    STD_NUM_MAPS = 12
};

class StdMat : public Mtl {
public:
    Class_ID ClassID() override { return Class_ID(DMTL_CLASS_ID, 0); }
    // Whether the map in slot `id` is switched on.
    virtual BOOL MapEnabled(int id) = 0;
};

// ------------------------------------------------------------------- meshes
class Face {
public:
    DWORD v[3] = {0, 0, 0};
    DWORD smGroup = 0;
    DWORD flags = 0;
    DWORD getVert(int i) const { return v[i]; }
    unsigned short getMatID() const { return static_cast<unsigned short>(flags >> 16); }
    void setMatID(unsigned short id) { flags = (flags & 0xFFFF) | (static_cast<DWORD>(id) << 16); }
};

class TVFace {
public:
    DWORD t[3] = {0, 0, 0};
    DWORD getTVert(int i) const { return t[i]; }
};

// Triangle mesh: positions, faces (three position indices each), texture
// vertices and texture faces (three texture-vertex indices per face). The
// public count and pointer fields are the SDK's; the storage behind them is
// kept in step by the mutators.
class Mesh {
public:
    int numVerts = 0;
    int numFaces = 0;
    int numTVerts = 0;
    Point3* verts = nullptr;
    Face* faces = nullptr;
    UVVert* tVerts = nullptr;
    TVFace* tvFace = nullptr;

    Mesh() = default;
    Mesh(const Mesh& o) { *this = o; }
    Mesh& operator=(const Mesh& o) {
        vertStore = o.vertStore;
        faceStore = o.faceStore;
        tVertStore = o.tVertStore;
        tvFaceStore = o.tvFaceStore;
        Sync();
        return *this;
    }
    int getNumVerts() const { return numVerts; }
    int getNumFaces() const { return numFaces; }
    int getNumTVerts() const { return numTVerts; }
    Point3& getVert(int i) { return verts[i]; }
    void setNumVerts(int n) {
        vertStore.resize(Size(n));
        Sync();
    }
    void setNumFaces(int n) {
        faceStore.resize(Size(n));
        Sync();
    }
    // Texture vertices and texture faces; with n > 0 there is one texture
    // face per face.
    void setNumTVerts(int n) {
        tVertStore.resize(Size(n));
        tvFaceStore.resize(n > 0 ? faceStore.size() : 0);
        Sync();
    }
    void setVert(int i, const Point3& p) { vertStore[static_cast<size_t>(i)] = p; }

private:
    static size_t Size(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }
    void Sync() {
        numVerts = static_cast<int>(vertStore.size());
        numFaces = static_cast<int>(faceStore.size());
        numTVerts = static_cast<int>(tVertStore.size());
        if (numTVerts > 0 && tvFaceStore.size() != faceStore.size())
            tvFaceStore.resize(faceStore.size());
        verts = vertStore.empty() ? nullptr : vertStore.data();
        faces = faceStore.empty() ? nullptr : faceStore.data();
        tVerts = tVertStore.empty() ? nullptr : tVertStore.data();
        tvFace = tvFaceStore.empty() ? nullptr : tvFaceStore.data();
    }
    std::vector<Point3> vertStore;
    std::vector<Face> faceStore;
    std::vector<UVVert> tVertStore;
    std::vector<TVFace> tvFaceStore;
};

// ------------------------------------------------------------------ objects
class Object : public Animatable {
public:
    // Interval over which the evaluated object stays unchanged.
    virtual Interval ObjectValidity(TimeValue t) = 0;
    virtual int CanConvertToType(Class_ID obtype) = 0;
    // The object as the given class at t: either this object or a new one
    // that the caller deletes (DeleteMe) after use. Null when not convertible.
    virtual Object* ConvertToType(TimeValue t, Class_ID obtype) = 0;
    virtual void DeleteMe() { delete this; }
};

class GeomObject : public Object {
public:
    SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
};

class TriObject : public GeomObject {
public:
    Mesh mesh;
    Mesh& GetMesh() { return mesh; }
    Class_ID ClassID() override { return Class_ID(TRIOBJ_CLASS_ID, 0); }
};

// A node's evaluated world state.
class ObjectState {
public:
    ObjectState() = default;
    explicit ObjectState(Object* o) : obj(o) {}
    Object* obj = nullptr;
};

class Control : public Animatable {
public:
    SClass_ID SuperClassID() override { return CTRL_MATRIX3_CLASS_ID; }
};

// -------------------------------------------------------------------- nodes
class INode {
public:
    virtual ~INode() = default;
    virtual const char* GetName() = 0;
    virtual int NumberOfChildren() = 0;
    virtual INode* GetChildNode(int i) = 0;
    virtual INode* GetParentNode() = 0;
    virtual int IsRootNode() = 0;
    virtual int Selected() = 0;
    virtual Control* GetTMController() = 0;
    virtual Mtl* GetMtl() = 0;
    // The node's object evaluated at t; evalHidden also evaluates hidden nodes.
    virtual const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
    virtual Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) = 0;
    virtual Matrix3 GetParentTM(TimeValue t) = 0;
    virtual Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid = nullptr) = 0;
};

// ---------------------------------------------------------- host interface
using LPVOID = void*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

class Interface {
public:
    virtual ~Interface() = default;
    virtual HWND GetMAXHWnd() = 0;
    virtual INode* GetRootNode() = 0;
    virtual Interval GetAnimRange() = 0;
    virtual BOOL GetCancel() = 0;
    virtual void SetCancel(BOOL sw) = 0;
    // Shows the progress bar and runs fn(arg) once.
    virtual BOOL ProgressStart(const char* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn,
                               LPVOID arg) = 0;
    virtual void ProgressUpdate(int pct, BOOL showPct = TRUE, const char* title = nullptr) = 0;
    virtual void ProgressEnd() = 0;
};

class ExpInterface {
public:
    virtual ~ExpInterface() = default;
};

// ------------------------------------------------------- plug-in contract
class SceneExport {
public:
    virtual ~SceneExport() = default;
    virtual int ExtCount() = 0;
    virtual const char* Ext(int n) = 0;
    virtual const char* LongDesc() = 0;
    virtual const char* ShortDesc() = 0;
    virtual const char* AuthorName() = 0;
    virtual const char* CopyrightMessage() = 0;
    virtual const char* OtherMessage1() = 0;
    virtual const char* OtherMessage2() = 0;
    virtual unsigned int Version() = 0;
    virtual void ShowAbout(HWND hWnd) = 0;
    virtual int DoExport(const char* name, ExpInterface* ei, Interface* i,
                         BOOL suppressPrompts = FALSE, DWORD options = 0) = 0;
    virtual BOOL SupportsOptions(int ext, DWORD options) = 0;
};

class ClassDesc {
public:
    virtual ~ClassDesc() = default;
    virtual int IsPublic() = 0;
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual const char* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const char* Category() = 0;
    // Defaults of the SDK's descriptor.
    virtual BOOL OkToCreate(Interface*) { return TRUE; }
    virtual int BeginCreate(Interface*) { return 0; }
    virtual int EndCreate(Interface*) { return 0; }
    virtual void ResetClassParams(BOOL) {}
};

// The plug-in library's exports, as the host looks them up.
extern "C" {
using LibDescriptionFn = const char* (*)();
using LibNumberClassesFn = int (*)();
using LibClassDescFn = ClassDesc* (*)(int);
using LibVersionFn = ULONG (*)();
using CanAutoDeferFn = ULONG (*)();
}
