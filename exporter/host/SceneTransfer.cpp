#include "exporter/host/SceneTransfer.h"

#include <assimp/scene.h>

#include <cstring>
#include <type_traits>

namespace {

// Marks the start of a scene's bytes, and its version.
constexpr uint32_t kMagic = 0x4E435354;  // "TSCN"
constexpr uint32_t kVersion = 1;

// Nesting of metadata inside metadata, and of nodes, deeper than any file
// holds; a deeper run of bytes is refused rather than followed.
constexpr int kMaxDepth = 4096;

// ------------------------------------------------------------------ writing
// Appends a scene's bytes to a buffer, or, without one, only counts them:
// a first pass counts, so the buffer is sized once and never moved.
class Sink {
public:
    explicit Sink(std::vector<uint8_t>* out) : out(out) {}
    size_t Counted() const { return counted; }

    template <typename T>
    void Put(const T& value) {
        static_assert(std::is_trivially_copyable<T>::value, "plain values only");
        Append(&value, sizeof(T));
    }
    // A present/absent array of `count` values.
    template <typename T>
    void PutArray(const T* values, size_t count) {
        static_assert(std::is_trivially_copyable<T>::value, "plain values only");
        Put<uint8_t>(values != nullptr ? 1 : 0);
        if (values == nullptr || count == 0) return;
        Append(values, sizeof(T) * count);
    }
    void PutBytes(const void* data, size_t size) {
        if (size != 0) Append(data, size);
    }
    void PutString(const aiString& s) {
        const uint32_t n = s.length < MAXLEN ? s.length : MAXLEN - 1;
        Put(n);
        PutBytes(s.data, n);
    }

private:
    void Append(const void* data, size_t size) {
        counted += size;
        if (out == nullptr) return;
        const auto* p = static_cast<const uint8_t*>(data);
        out->insert(out->end(), p, p + size);
    }
    std::vector<uint8_t>* out;
    size_t counted = 0;
};

void WriteMetadata(Sink& w, const aiMetadata* md) {
    w.Put<uint8_t>(md != nullptr ? 1 : 0);
    if (md == nullptr) return;
    w.Put<uint32_t>(md->mNumProperties);
    for (unsigned i = 0; i < md->mNumProperties; ++i) {
        w.PutString(md->mKeys[i]);
        const aiMetadataEntry& e = md->mValues[i];
        const void* d = e.mData;
        // An entry without a value crosses as an empty one of its type.
        w.Put<uint32_t>(d != nullptr ? static_cast<uint32_t>(e.mType)
                                     : static_cast<uint32_t>(AI_META_MAX));
        if (d == nullptr) continue;
        switch (e.mType) {
            case AI_BOOL:
                w.Put<uint8_t>(*static_cast<const bool*>(d) ? 1 : 0);
                break;
            case AI_INT32:
                w.Put(*static_cast<const int32_t*>(d));
                break;
            case AI_UINT64:
                w.Put(*static_cast<const uint64_t*>(d));
                break;
            case AI_FLOAT:
                w.Put(*static_cast<const float*>(d));
                break;
            case AI_DOUBLE:
                w.Put(*static_cast<const double*>(d));
                break;
            case AI_AISTRING:
                w.PutString(*static_cast<const aiString*>(d));
                break;
            case AI_AIVECTOR3D:
                w.Put(*static_cast<const aiVector3D*>(d));
                break;
            case AI_AIMETADATA:
                WriteMetadata(w, static_cast<const aiMetadata*>(d));
                break;
            default:
                break;
        }
    }
}

void WriteNode(Sink& w, const aiNode* node) {
    w.PutString(node->mName);
    w.Put(node->mTransformation);
    w.Put<uint32_t>(node->mNumMeshes);
    w.PutArray(node->mMeshes, node->mNumMeshes);
    WriteMetadata(w, node->mMetaData);
    // Absent children are left out.
    uint32_t children = 0;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren && node->mChildren[i]) ++children;
    w.Put(children);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren && node->mChildren[i]) WriteNode(w, node->mChildren[i]);
}

// The vertex channels of a mesh or a morph target, `n` vertices each.
template <typename M>
void WriteChannels(Sink& w, const M& m, unsigned n) {
    w.PutArray(m.mVertices, n);
    w.PutArray(m.mNormals, n);
    w.PutArray(m.mTangents, n);
    w.PutArray(m.mBitangents, n);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_COLOR_SETS; ++c) w.PutArray(m.mColors[c], n);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
        w.PutArray(m.mTextureCoords[c], n);
}

void WriteMesh(Sink& w, const aiMesh* m) {
    const unsigned n = m->mVertices != nullptr ? m->mNumVertices : 0;
    w.PutString(m->mName);
    w.Put<uint32_t>(m->mPrimitiveTypes);
    w.Put<uint32_t>(m->mMaterialIndex);
    w.Put<uint32_t>(m->mMethod);
    w.Put(m->mAABB);
    w.Put<uint32_t>(n);
    WriteChannels(w, *m, n);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
        w.Put<uint32_t>(m->mNumUVComponents[c]);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c) {
        const aiString* name = m->mTextureCoordsNames ? m->mTextureCoordsNames[c] : nullptr;
        w.Put<uint8_t>(name != nullptr ? 1 : 0);
        if (name) w.PutString(*name);
    }
    const unsigned faces = m->mFaces != nullptr ? m->mNumFaces : 0;
    w.Put<uint32_t>(faces);
    for (unsigned f = 0; f < faces; ++f) {
        const aiFace& face = m->mFaces[f];
        const unsigned k = face.mIndices != nullptr ? face.mNumIndices : 0;
        w.Put<uint32_t>(k);
        w.PutBytes(face.mIndices, sizeof(unsigned) * k);
    }
    uint32_t bones = 0;
    for (unsigned b = 0; b < m->mNumBones; ++b)
        if (m->mBones && m->mBones[b]) ++bones;
    w.Put(bones);
    for (unsigned b = 0; b < m->mNumBones; ++b) {
        const aiBone* bone = m->mBones ? m->mBones[b] : nullptr;
        if (bone == nullptr) continue;
        w.PutString(bone->mName);
        w.Put(bone->mOffsetMatrix);
        const unsigned weights = bone->mWeights != nullptr ? bone->mNumWeights : 0;
        w.Put<uint32_t>(weights);
        w.PutBytes(bone->mWeights, sizeof(aiVertexWeight) * weights);
    }
    uint32_t targets = 0;
    for (unsigned a = 0; a < m->mNumAnimMeshes; ++a)
        if (m->mAnimMeshes && m->mAnimMeshes[a]) ++targets;
    w.Put(targets);
    for (unsigned a = 0; a < m->mNumAnimMeshes; ++a) {
        const aiAnimMesh* t = m->mAnimMeshes ? m->mAnimMeshes[a] : nullptr;
        if (t == nullptr) continue;
        w.PutString(t->mName);
        w.Put(t->mWeight);
        const unsigned tn = t->mNumVertices;
        w.Put<uint32_t>(tn);
        WriteChannels(w, *t, tn);
    }
}

void WriteMaterial(Sink& w, const aiMaterial* mat) {
    uint32_t count = 0;
    for (unsigned p = 0; p < mat->mNumProperties; ++p)
        if (mat->mProperties[p]) ++count;
    w.Put(count);
    for (unsigned p = 0; p < mat->mNumProperties; ++p) {
        const aiMaterialProperty* prop = mat->mProperties[p];
        if (prop == nullptr) continue;
        w.PutString(prop->mKey);
        w.Put<uint32_t>(prop->mSemantic);
        w.Put<uint32_t>(prop->mIndex);
        w.Put<uint32_t>(static_cast<uint32_t>(prop->mType));
        const unsigned len = prop->mData != nullptr ? prop->mDataLength : 0;
        w.Put<uint32_t>(len);
        w.PutBytes(prop->mData, len);
    }
}

void WriteAnimation(Sink& w, const aiAnimation* a) {
    w.PutString(a->mName);
    w.Put(a->mDuration);
    w.Put(a->mTicksPerSecond);
    uint32_t channels = 0;
    for (unsigned c = 0; c < a->mNumChannels; ++c)
        if (a->mChannels && a->mChannels[c]) ++channels;
    w.Put(channels);
    for (unsigned c = 0; c < a->mNumChannels; ++c) {
        const aiNodeAnim* ch = a->mChannels ? a->mChannels[c] : nullptr;
        if (ch == nullptr) continue;
        w.PutString(ch->mNodeName);
        w.Put<uint32_t>(static_cast<uint32_t>(ch->mPreState));
        w.Put<uint32_t>(static_cast<uint32_t>(ch->mPostState));
        const unsigned np = ch->mPositionKeys ? ch->mNumPositionKeys : 0;
        const unsigned nr = ch->mRotationKeys ? ch->mNumRotationKeys : 0;
        const unsigned ns = ch->mScalingKeys ? ch->mNumScalingKeys : 0;
        w.Put<uint32_t>(np);
        for (unsigned k = 0; k < np; ++k) {
            w.Put(ch->mPositionKeys[k].mTime);
            w.Put(ch->mPositionKeys[k].mValue);
        }
        w.Put<uint32_t>(nr);
        for (unsigned k = 0; k < nr; ++k) {
            w.Put(ch->mRotationKeys[k].mTime);
            w.Put(ch->mRotationKeys[k].mValue);
        }
        w.Put<uint32_t>(ns);
        for (unsigned k = 0; k < ns; ++k) {
            w.Put(ch->mScalingKeys[k].mTime);
            w.Put(ch->mScalingKeys[k].mValue);
        }
    }
    uint32_t meshChannels = 0;
    for (unsigned c = 0; c < a->mNumMeshChannels; ++c)
        if (a->mMeshChannels && a->mMeshChannels[c]) ++meshChannels;
    w.Put(meshChannels);
    for (unsigned c = 0; c < a->mNumMeshChannels; ++c) {
        const aiMeshAnim* ch = a->mMeshChannels ? a->mMeshChannels[c] : nullptr;
        if (ch == nullptr) continue;
        w.PutString(ch->mName);
        const unsigned nk = ch->mKeys ? ch->mNumKeys : 0;
        w.Put<uint32_t>(nk);
        for (unsigned k = 0; k < nk; ++k) {
            w.Put(ch->mKeys[k].mTime);
            w.Put<uint32_t>(ch->mKeys[k].mValue);
        }
    }
    uint32_t morphChannels = 0;
    for (unsigned c = 0; c < a->mNumMorphMeshChannels; ++c)
        if (a->mMorphMeshChannels && a->mMorphMeshChannels[c]) ++morphChannels;
    w.Put(morphChannels);
    for (unsigned c = 0; c < a->mNumMorphMeshChannels; ++c) {
        const aiMeshMorphAnim* ch = a->mMorphMeshChannels ? a->mMorphMeshChannels[c] : nullptr;
        if (ch == nullptr) continue;
        w.PutString(ch->mName);
        const unsigned nk = ch->mKeys ? ch->mNumKeys : 0;
        w.Put<uint32_t>(nk);
        for (unsigned k = 0; k < nk; ++k) {
            const aiMeshMorphKey& key = ch->mKeys[k];
            const unsigned nv = (key.mValues && key.mWeights) ? key.mNumValuesAndWeights : 0;
            w.Put(key.mTime);
            w.Put<uint32_t>(nv);
            w.PutBytes(key.mValues, sizeof(unsigned) * nv);
            w.PutBytes(key.mWeights, sizeof(double) * nv);
        }
    }
}

void WriteTexture(Sink& w, const aiTexture* t) {
    w.Put<uint32_t>(t->mWidth);
    w.Put<uint32_t>(t->mHeight);
    w.PutBytes(t->achFormatHint, HINTMAXTEXTURELEN);
    w.PutString(t->mFilename);
    // Compressed: mWidth bytes; otherwise mWidth * mHeight texels.
    const uint64_t bytes = t->pcData == nullptr ? 0
                           : t->mHeight == 0    ? uint64_t{t->mWidth}
                                             : uint64_t{t->mWidth} * t->mHeight * sizeof(aiTexel);
    w.Put<uint64_t>(bytes);
    w.PutBytes(t->pcData, static_cast<size_t>(bytes));
}

void WriteLight(Sink& w, const aiLight* l) {
    w.PutString(l->mName);
    w.Put<uint32_t>(static_cast<uint32_t>(l->mType));
    w.Put(l->mPosition);
    w.Put(l->mDirection);
    w.Put(l->mUp);
    w.Put(l->mAttenuationConstant);
    w.Put(l->mAttenuationLinear);
    w.Put(l->mAttenuationQuadratic);
    w.Put(l->mColorDiffuse.r);
    w.Put(l->mColorDiffuse.g);
    w.Put(l->mColorDiffuse.b);
    w.Put(l->mColorSpecular.r);
    w.Put(l->mColorSpecular.g);
    w.Put(l->mColorSpecular.b);
    w.Put(l->mColorAmbient.r);
    w.Put(l->mColorAmbient.g);
    w.Put(l->mColorAmbient.b);
    w.Put(l->mAngleInnerCone);
    w.Put(l->mAngleOuterCone);
    w.Put(l->mSize);
}

void WriteCamera(Sink& w, const aiCamera* c) {
    w.PutString(c->mName);
    w.Put(c->mPosition);
    w.Put(c->mUp);
    w.Put(c->mLookAt);
    w.Put(c->mHorizontalFOV);
    w.Put(c->mClipPlaneNear);
    w.Put(c->mClipPlaneFar);
    w.Put(c->mAspect);
    w.Put(c->mOrthographicWidth);
}

// Writes the present entries of an array of pointers, preceded by their count.
template <typename T, typename F>
void WriteList(Sink& w, T* const* items, unsigned count, F write) {
    uint32_t present = 0;
    for (unsigned i = 0; i < count; ++i)
        if (items && items[i]) ++present;
    w.Put(present);
    for (unsigned i = 0; i < count; ++i)
        if (items && items[i]) write(w, items[i]);
}

// ------------------------------------------------------------------ reading
// A product of sizes the bytes give; false when it does not fit in 64 bits.
bool CheckedProduct(uint64_t a, uint64_t b, uint64_t& product) {
    return !__builtin_mul_overflow(a, b, &product);
}

// Bytes cut short or inconsistent set a failure that every later read sees:
// reads then give zeros and counts give 0, so the rebuilding ends quickly,
// and every array built so far matches its count for the scene's destructor.
class Source {
public:
    Source(const uint8_t* data, size_t size, uint64_t memoryLimit)
        : data(data), size(size), memoryLimit(memoryLimit) {}

    size_t Remaining() const { return size - offset; }
    bool Failed() const { return !problem.empty(); }
    const std::string& Problem() const { return problem; }
    void Fail(const std::string& why) {
        if (problem.empty()) problem = why;
    }

    template <typename T>
    T Get() {
        static_assert(std::is_trivially_copyable<T>::value, "plain values only");
        T value{};
        GetBytes(&value, sizeof(T));
        return value;
    }
    bool GetBytes(void* out, size_t n) {
        if (Failed()) return false;
        if (n > Remaining()) {
            Fail("it is cut short");
            return false;
        }
        if (n != 0) std::memcpy(out, data + offset, n);
        offset += n;
        return true;
    }
    // Counts an allocation of `bytes` (and the allocator's own record of it)
    // toward the memory the rebuilt scene takes; past the limit the reader
    // fails. A record in memory can be many times its size in bytes (every
    // name is a fixed 1 KiB string), so this, not the bytes left, bounds it.
    // False when the reader has failed.
    bool Charge(uint64_t bytes) {
        if (Failed()) return false;
        const uint64_t held = charged + bytes + kAllocationRecord;
        if (held < charged || held > memoryLimit) {
            Fail("it would take more than " + std::to_string(memoryLimit / (1024 * 1024)) +
                 " MB of memory");
            return false;
        }
        charged = held;
        return true;
    }
    // A count of items of at least `minBytes` each, checked against the bytes left.
    uint32_t Count(size_t minBytes) {
        const uint32_t n = Get<uint32_t>();
        if (Failed()) return 0;
        if (minBytes != 0 && n > Remaining() / minBytes) {
            Fail("it counts " + std::to_string(n) + " items where " + std::to_string(Remaining()) +
                 " bytes are left");
            return 0;
        }
        return n;
    }
    // A present/absent array of `count` values, allocated with new[].
    template <typename T>
    T* GetArray(size_t count) {
        const bool present = Get<uint8_t>() != 0;
        if (!present || count == 0 || Failed()) return nullptr;
        if (count > Remaining() / sizeof(T)) {
            Fail("an array of " + std::to_string(count) + " values is cut short");
            return nullptr;
        }
        if (!Charge(sizeof(T) * count)) return nullptr;
        T* values = new T[count];
        GetBytes(values, sizeof(T) * count);
        return values;
    }
    void GetString(aiString& s) {
        const uint32_t n = Get<uint32_t>();
        if (Failed()) return;
        if (n >= MAXLEN) {
            Fail("a name of " + std::to_string(n) + " bytes is longer than a name can be");
            return;
        }
        if (GetBytes(s.data, n)) {
            s.length = n;
            s.data[n] = '\0';
        }
    }

private:
    static constexpr uint64_t kAllocationRecord = 16;
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
    uint64_t memoryLimit;
    uint64_t charged = 0;
    std::string problem;
};

aiMetadata* ReadMetadata(Source& r, int depth) {
    if (r.Get<uint8_t>() == 0 || r.Failed()) return nullptr;
    if (depth > kMaxDepth) {
        r.Fail("its metadata is nested too deeply");
        return nullptr;
    }
    const uint32_t n = r.Count(8);
    if (!r.Charge(sizeof(aiMetadata))) return nullptr;
    auto md = std::make_unique<aiMetadata>();
    if (n == 0 || !r.Charge(uint64_t{n} * sizeof(aiString)) ||
        !r.Charge(uint64_t{n} * sizeof(aiMetadataEntry)))
        return md.release();
    md->mKeys = new aiString[n]();
    md->mValues = new aiMetadataEntry[n]();
    md->mNumProperties = n;
    for (uint32_t i = 0; i < n && !r.Failed(); ++i) {
        r.GetString(md->mKeys[i]);
        const uint32_t type = r.Get<uint32_t>();
        // Every value is an allocation of its own; a name is a fixed 1 KiB string.
        if (!r.Charge(type == AI_AISTRING ? sizeof(aiString) : sizeof(aiVector3D))) break;
        aiMetadataEntry& e = md->mValues[i];
        switch (type) {
            case AI_BOOL:
                e.mData = new bool(r.Get<uint8_t>() != 0);
                break;
            case AI_INT32:
                e.mData = new int32_t(r.Get<int32_t>());
                break;
            case AI_UINT64:
                e.mData = new uint64_t(r.Get<uint64_t>());
                break;
            case AI_FLOAT:
                e.mData = new float(r.Get<float>());
                break;
            case AI_DOUBLE:
                e.mData = new double(r.Get<double>());
                break;
            case AI_AISTRING: {
                auto s = std::make_unique<aiString>();
                r.GetString(*s);
                e.mData = s.release();
                break;
            }
            case AI_AIVECTOR3D:
                e.mData = new aiVector3D(r.Get<aiVector3D>());
                break;
            case AI_AIMETADATA: {
                aiMetadata* inner = ReadMetadata(r, depth + 1);
                e.mData = inner != nullptr ? inner : new aiMetadata();
                break;
            }
            case AI_META_MAX:
                break;  // an entry without a value
            default:
                r.Fail("a metadata entry has the unknown type " + std::to_string(type));
                continue;
        }
        e.mType = static_cast<aiMetadataType>(type);
    }
    return md.release();
}

aiNode* ReadNode(Source& r, aiNode* parent, int depth) {
    r.Charge(sizeof(aiNode));
    auto node = std::make_unique<aiNode>();
    node->mParent = parent;
    if (depth > kMaxDepth) {
        r.Fail("its node tree is nested too deeply");
        return node.release();
    }
    r.GetString(node->mName);
    node->mTransformation = r.Get<aiMatrix4x4>();
    const uint32_t meshes = r.Get<uint32_t>();
    node->mMeshes = r.GetArray<unsigned>(meshes);
    node->mNumMeshes = node->mMeshes ? meshes : 0;
    node->mMetaData = ReadMetadata(r, 0);
    const uint32_t children = r.Count(4);
    if (children != 0 && r.Charge(uint64_t{children} * sizeof(aiNode*))) {
        node->mChildren = new aiNode*[children]();
        for (uint32_t i = 0; i < children && !r.Failed(); ++i) {
            node->mChildren[i] = ReadNode(r, node.get(), depth + 1);
            node->mNumChildren = i + 1;
        }
    }
    return node.release();
}

template <typename M>
void ReadChannels(Source& r, M& m, uint32_t n) {
    m.mVertices = r.GetArray<aiVector3D>(n);
    m.mNormals = r.GetArray<aiVector3D>(n);
    m.mTangents = r.GetArray<aiVector3D>(n);
    m.mBitangents = r.GetArray<aiVector3D>(n);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_COLOR_SETS; ++c)
        m.mColors[c] = r.GetArray<aiColor4D>(n);
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
        m.mTextureCoords[c] = r.GetArray<aiVector3D>(n);
}

aiMesh* ReadMesh(Source& r) {
    r.Charge(sizeof(aiMesh));
    auto m = std::make_unique<aiMesh>();
    r.GetString(m->mName);
    m->mPrimitiveTypes = r.Get<uint32_t>();
    m->mMaterialIndex = r.Get<uint32_t>();
    m->mMethod = r.Get<uint32_t>();
    m->mAABB = r.Get<aiAABB>();
    const uint32_t n = r.Get<uint32_t>();
    ReadChannels(r, *m, n);
    // The count stands only with the positions it counts.
    m->mNumVertices = m->mVertices != nullptr ? n : 0;
    if (n != 0 && m->mVertices == nullptr) r.Fail("a mesh counts vertices without positions");
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++c)
        m->mNumUVComponents[c] = r.Get<uint32_t>();
    for (unsigned c = 0; c < AI_MAX_NUMBER_OF_TEXTURECOORDS && !r.Failed(); ++c) {
        if (r.Get<uint8_t>() == 0) continue;
        aiString name;
        r.GetString(name);
        if (!r.Failed()) m->SetTextureCoordsName(c, name);
    }
    const uint32_t faces = r.Count(4);
    if (faces != 0 && r.Charge(uint64_t{faces} * sizeof(aiFace))) {
        m->mFaces = new aiFace[faces];
        m->mNumFaces = faces;
        for (uint32_t f = 0; f < faces && !r.Failed(); ++f) {
            const uint32_t k = r.Count(sizeof(unsigned));
            if (k == 0) continue;
            if (!r.Charge(uint64_t{k} * sizeof(unsigned))) break;
            aiFace& face = m->mFaces[f];
            face.mIndices = new unsigned[k];
            face.mNumIndices = k;
            r.GetBytes(face.mIndices, sizeof(unsigned) * k);
            for (uint32_t i = 0; i < k && !r.Failed(); ++i)
                if (face.mIndices[i] >= m->mNumVertices)
                    r.Fail("a face uses a vertex the mesh does not have");
        }
    }
    const uint32_t bones = r.Count(8 + sizeof(aiMatrix4x4));
    if (bones != 0 && r.Charge(uint64_t{bones} * sizeof(aiBone*))) {
        m->mBones = new aiBone*[bones]();
        for (uint32_t b = 0; b < bones && r.Charge(sizeof(aiBone)); ++b) {
            auto bone = std::make_unique<aiBone>();
            r.GetString(bone->mName);
            bone->mOffsetMatrix = r.Get<aiMatrix4x4>();
            const uint32_t weights = r.Count(sizeof(aiVertexWeight));
            if (weights != 0 && r.Charge(uint64_t{weights} * sizeof(aiVertexWeight))) {
                bone->mWeights = new aiVertexWeight[weights];
                bone->mNumWeights = weights;
                r.GetBytes(bone->mWeights, sizeof(aiVertexWeight) * weights);
                for (uint32_t i = 0; i < weights && !r.Failed(); ++i)
                    if (bone->mWeights[i].mVertexId >= m->mNumVertices)
                        r.Fail("a bone weighs a vertex the mesh does not have");
            }
            m->mBones[b] = bone.release();
            m->mNumBones = b + 1;
        }
    }
    const uint32_t targets = r.Count(12);
    if (targets != 0 && r.Charge(uint64_t{targets} * sizeof(aiAnimMesh*))) {
        m->mAnimMeshes = new aiAnimMesh*[targets]();
        for (uint32_t a = 0; a < targets && r.Charge(sizeof(aiAnimMesh)); ++a) {
            auto t = std::make_unique<aiAnimMesh>();
            r.GetString(t->mName);
            t->mWeight = r.Get<float>();
            const uint32_t tn = r.Get<uint32_t>();
            ReadChannels(r, *t, tn);
            t->mNumVertices = tn;
            if (tn != m->mNumVertices)
                r.Fail("a morph target has another vertex count than its mesh");
            m->mAnimMeshes[a] = t.release();
            m->mNumAnimMeshes = a + 1;
        }
    }
    return m.release();
}

aiMaterial* ReadMaterial(Source& r) {
    r.Charge(sizeof(aiMaterial));
    auto mat = std::make_unique<aiMaterial>();
    const uint32_t count = r.Count(20);
    for (uint32_t p = 0; p < count && !r.Failed(); ++p) {
        aiString key;
        r.GetString(key);
        const uint32_t semantic = r.Get<uint32_t>();
        const uint32_t index = r.Get<uint32_t>();
        const uint32_t type = r.Get<uint32_t>();
        const uint32_t len = r.Count(1);
        std::vector<uint8_t> value(len);
        r.GetBytes(value.data(), len);
        if (r.Failed()) break;
        if (type < aiPTI_Float || type > aiPTI_Buffer) {
            r.Fail("a material property has the unknown type " + std::to_string(type));
            break;
        }
        // A property without bytes carries nothing and cannot be stored.
        if (len == 0) continue;
        // The property, its value and its place in the material's list.
        if (!r.Charge(sizeof(aiMaterialProperty) + sizeof(aiMaterialProperty*)) || !r.Charge(len))
            break;
        // The property readers take a property's layout on trust: a text is
        // its length, its bytes and a terminator; numbers fill the whole value.
        bool laidOut = true;
        if (type == aiPTI_String) {
            uint32_t textLength = 0;
            if (len >= 5) std::memcpy(&textLength, value.data(), sizeof textLength);
            laidOut = len >= 5 && textLength < MAXLEN && uint64_t{textLength} + 5 == len &&
                      value[len - 1] == 0;
        } else if (type == aiPTI_Float || type == aiPTI_Integer) {
            laidOut = len % 4 == 0;
        } else if (type == aiPTI_Double) {
            laidOut = len % 8 == 0;
        }
        if (!laidOut) {
            r.Fail("the material property '" + std::string(key.C_Str()) +
                   "' is not laid out as its type says");
            break;
        }
        if (mat->AddBinaryProperty(value.data(), len, key.C_Str(), semantic, index,
                                   static_cast<aiPropertyTypeInfo>(type)) != AI_SUCCESS)
            r.Fail("the material property '" + std::string(key.C_Str()) + "' cannot be stored");
    }
    return mat.release();
}

// Reads `n` keys of time and value into a new array.
template <typename Key, typename Value>
Key* ReadKeys(Source& r, unsigned& count) {
    const uint32_t n = r.Count(sizeof(double) + sizeof(Value));
    if (n == 0 || !r.Charge(uint64_t{n} * sizeof(Key))) return nullptr;
    Key* keys = new Key[n];
    count = n;
    for (uint32_t k = 0; k < n; ++k) {
        keys[k].mTime = r.Get<double>();
        keys[k].mValue = r.Get<Value>();
    }
    return keys;
}

aiAnimation* ReadAnimation(Source& r) {
    r.Charge(sizeof(aiAnimation));
    auto a = std::make_unique<aiAnimation>();
    r.GetString(a->mName);
    a->mDuration = r.Get<double>();
    a->mTicksPerSecond = r.Get<double>();
    const uint32_t channels = r.Count(24);
    if (channels != 0 && r.Charge(uint64_t{channels} * sizeof(aiNodeAnim*))) {
        a->mChannels = new aiNodeAnim*[channels]();
        for (uint32_t c = 0; c < channels && r.Charge(sizeof(aiNodeAnim)); ++c) {
            auto ch = std::make_unique<aiNodeAnim>();
            r.GetString(ch->mNodeName);
            ch->mPreState = static_cast<aiAnimBehaviour>(r.Get<uint32_t>());
            ch->mPostState = static_cast<aiAnimBehaviour>(r.Get<uint32_t>());
            ch->mPositionKeys = ReadKeys<aiVectorKey, aiVector3D>(r, ch->mNumPositionKeys);
            ch->mRotationKeys = ReadKeys<aiQuatKey, aiQuaternion>(r, ch->mNumRotationKeys);
            ch->mScalingKeys = ReadKeys<aiVectorKey, aiVector3D>(r, ch->mNumScalingKeys);
            a->mChannels[c] = ch.release();
            a->mNumChannels = c + 1;
        }
    }
    const uint32_t meshChannels = r.Count(8);
    if (meshChannels != 0 && r.Charge(uint64_t{meshChannels} * sizeof(aiMeshAnim*))) {
        a->mMeshChannels = new aiMeshAnim*[meshChannels]();
        for (uint32_t c = 0; c < meshChannels && r.Charge(sizeof(aiMeshAnim)); ++c) {
            auto ch = std::make_unique<aiMeshAnim>();
            r.GetString(ch->mName);
            ch->mKeys = ReadKeys<aiMeshKey, uint32_t>(r, ch->mNumKeys);
            a->mMeshChannels[c] = ch.release();
            a->mNumMeshChannels = c + 1;
        }
    }
    const uint32_t morphChannels = r.Count(8);
    if (morphChannels != 0 && r.Charge(uint64_t{morphChannels} * sizeof(aiMeshMorphAnim*))) {
        a->mMorphMeshChannels = new aiMeshMorphAnim*[morphChannels]();
        for (uint32_t c = 0; c < morphChannels && r.Charge(sizeof(aiMeshMorphAnim)); ++c) {
            auto ch = std::make_unique<aiMeshMorphAnim>();
            r.GetString(ch->mName);
            const uint32_t n = r.Count(sizeof(double) + 4);
            if (n != 0 && r.Charge(uint64_t{n} * sizeof(aiMeshMorphKey))) {
                ch->mKeys = new aiMeshMorphKey[n];
                ch->mNumKeys = n;
                for (uint32_t k = 0; k < n && !r.Failed(); ++k) {
                    aiMeshMorphKey& key = ch->mKeys[k];
                    key.mTime = r.Get<double>();
                    const uint32_t nv = r.Count(sizeof(unsigned) + sizeof(double));
                    if (nv == 0) continue;
                    if (!r.Charge(uint64_t{nv} * sizeof(unsigned)) ||
                        !r.Charge(uint64_t{nv} * sizeof(double)))
                        break;
                    key.mValues = new unsigned[nv];
                    key.mWeights = new double[nv];
                    key.mNumValuesAndWeights = nv;
                    r.GetBytes(key.mValues, sizeof(unsigned) * nv);
                    r.GetBytes(key.mWeights, sizeof(double) * nv);
                }
            }
            a->mMorphMeshChannels[c] = ch.release();
            a->mNumMorphMeshChannels = c + 1;
        }
    }
    return a.release();
}

aiTexture* ReadTexture(Source& r) {
    r.Charge(sizeof(aiTexture));
    auto t = std::make_unique<aiTexture>();
    t->mWidth = r.Get<uint32_t>();
    t->mHeight = r.Get<uint32_t>();
    r.GetBytes(t->achFormatHint, HINTMAXTEXTURELEN);
    t->achFormatHint[HINTMAXTEXTURELEN - 1] = '\0';
    r.GetString(t->mFilename);
    const uint64_t bytes = r.Get<uint64_t>();
    if (r.Failed()) return t.release();
    // Compressed: mWidth bytes; otherwise mWidth * mHeight texels (a size
    // that does not fit in 64 bits matches no byte count).
    uint64_t expected = t->mWidth;
    const bool sized = t->mHeight == 0 ||
                       CheckedProduct(uint64_t{t->mWidth} * t->mHeight, sizeof(aiTexel), expected);
    if (bytes > r.Remaining() || (bytes != 0 && (!sized || bytes != expected))) {
        r.Fail("an embedded texture's data is cut short");
        return t.release();
    }
    if (bytes != 0 && r.Charge(bytes)) {
        // Texel storage, rounded up for compressed data.
        t->pcData = new aiTexel[(bytes + sizeof(aiTexel) - 1) / sizeof(aiTexel)]();
        r.GetBytes(t->pcData, static_cast<size_t>(bytes));
    }
    return t.release();
}

aiLight* ReadLight(Source& r) {
    r.Charge(sizeof(aiLight));
    auto l = std::make_unique<aiLight>();
    r.GetString(l->mName);
    l->mType = static_cast<aiLightSourceType>(r.Get<uint32_t>());
    l->mPosition = r.Get<aiVector3D>();
    l->mDirection = r.Get<aiVector3D>();
    l->mUp = r.Get<aiVector3D>();
    l->mAttenuationConstant = r.Get<float>();
    l->mAttenuationLinear = r.Get<float>();
    l->mAttenuationQuadratic = r.Get<float>();
    l->mColorDiffuse.r = r.Get<float>();
    l->mColorDiffuse.g = r.Get<float>();
    l->mColorDiffuse.b = r.Get<float>();
    l->mColorSpecular.r = r.Get<float>();
    l->mColorSpecular.g = r.Get<float>();
    l->mColorSpecular.b = r.Get<float>();
    l->mColorAmbient.r = r.Get<float>();
    l->mColorAmbient.g = r.Get<float>();
    l->mColorAmbient.b = r.Get<float>();
    l->mAngleInnerCone = r.Get<float>();
    l->mAngleOuterCone = r.Get<float>();
    l->mSize = r.Get<aiVector2D>();
    return l.release();
}

aiCamera* ReadCamera(Source& r) {
    r.Charge(sizeof(aiCamera));
    auto c = std::make_unique<aiCamera>();
    r.GetString(c->mName);
    c->mPosition = r.Get<aiVector3D>();
    c->mUp = r.Get<aiVector3D>();
    c->mLookAt = r.Get<aiVector3D>();
    c->mHorizontalFOV = r.Get<float>();
    c->mClipPlaneNear = r.Get<float>();
    c->mClipPlaneFar = r.Get<float>();
    c->mAspect = r.Get<float>();
    c->mOrthographicWidth = r.Get<float>();
    return c.release();
}

// Reads a counted list of items into a new array; the count follows the
// items read, so a broken list leaves a scene its destructor can free.
template <typename T, typename F>
void ReadList(Source& r, T**& items, unsigned& count, F read) {
    const uint32_t n = r.Count(4);
    if (n == 0 || !r.Charge(uint64_t{n} * sizeof(T*))) return;
    items = new T*[n]();
    for (uint32_t i = 0; i < n && !r.Failed(); ++i) {
        items[i] = read(r);
        count = i + 1;
    }
}

// Every mesh index of the node tree names a mesh of the scene.
bool NodeMeshesExist(const aiNode* node, unsigned meshCount) {
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        if (node->mMeshes[i] >= meshCount) return false;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren[i] && !NodeMeshesExist(node->mChildren[i], meshCount)) return false;
    return true;
}

void WriteScene(Sink& w, const aiScene& scene) {
    w.Put(kMagic);
    w.Put(kVersion);
    w.Put<uint32_t>(scene.mFlags);
    w.PutString(scene.mName);
    WriteMetadata(w, scene.mMetaData);
    w.Put<uint8_t>(scene.mRootNode != nullptr ? 1 : 0);
    if (scene.mRootNode) WriteNode(w, scene.mRootNode);
    WriteList(w, scene.mMeshes, scene.mNumMeshes, WriteMesh);
    WriteList(w, scene.mMaterials, scene.mNumMaterials, WriteMaterial);
    WriteList(w, scene.mAnimations, scene.mNumAnimations, WriteAnimation);
    WriteList(w, scene.mTextures, scene.mNumTextures, WriteTexture);
    WriteList(w, scene.mLights, scene.mNumLights, WriteLight);
    WriteList(w, scene.mCameras, scene.mNumCameras, WriteCamera);
}
}  // namespace

void WriteSceneBytes(const aiScene& scene, std::vector<uint8_t>& out) {
    Sink counter(nullptr);
    WriteScene(counter, scene);
    out.reserve(out.size() + counter.Counted());
    Sink w(&out);
    WriteScene(w, scene);
}

std::unique_ptr<aiScene> ReadSceneBytes(const uint8_t* data, size_t size, std::string& error,
                                        uint64_t memoryLimit) {
    Source r(data, size, memoryLimit);
    if (r.Get<uint32_t>() != kMagic) {
        error = "the importer's scene does not start as one";
        return nullptr;
    }
    const uint32_t version = r.Get<uint32_t>();
    if (version != kVersion) {
        error = "the importer's scene has version " + std::to_string(version) + ", not " +
                std::to_string(kVersion);
        return nullptr;
    }
    r.Charge(sizeof(aiScene));
    auto scene = std::make_unique<aiScene>();
    scene->mFlags = r.Get<uint32_t>();
    r.GetString(scene->mName);
    scene->mMetaData = ReadMetadata(r, 0);
    if (r.Get<uint8_t>() != 0) scene->mRootNode = ReadNode(r, nullptr, 0);
    ReadList(r, scene->mMeshes, scene->mNumMeshes, ReadMesh);
    ReadList(r, scene->mMaterials, scene->mNumMaterials, ReadMaterial);
    ReadList(r, scene->mAnimations, scene->mNumAnimations, ReadAnimation);
    ReadList(r, scene->mTextures, scene->mNumTextures, ReadTexture);
    ReadList(r, scene->mLights, scene->mNumLights, ReadLight);
    ReadList(r, scene->mCameras, scene->mNumCameras, ReadCamera);
    if (!r.Failed() && r.Remaining() != 0)
        r.Fail("it is followed by " + std::to_string(r.Remaining()) + " unexpected bytes");
    if (!r.Failed() && scene->mRootNode && !NodeMeshesExist(scene->mRootNode, scene->mNumMeshes))
        r.Fail("a node names a mesh the scene does not have");
    for (unsigned m = 0; m < scene->mNumMeshes && !r.Failed(); ++m)
        if (scene->mNumMaterials != 0 && scene->mMeshes[m]->mMaterialIndex >= scene->mNumMaterials)
            r.Fail("a mesh names a material the scene does not have");
    if (r.Failed()) {
        error = "the importer's scene cannot be taken over: " + r.Problem();
        return nullptr;
    }
    return scene;
}
