#include "tools/model_convert_gltf.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>

#include "tools/formats/SaveWholeFile.h"

namespace {

constexpr size_t kAlignment = 4;

int ComponentsOf(int type) {
    return tinygltf::GetNumComponentsInType(static_cast<uint32_t>(type));
}

std::string LowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

GltfBuffer::GltfBuffer(tinygltf::Model& model) : m_model(model) {
    m_model.buffers.emplace_back();
}

int GltfBuffer::AddView(const void* data, size_t bytes, int target) {
    std::vector<unsigned char>& buffer = m_model.buffers[0].data;
    buffer.resize((buffer.size() + kAlignment - 1) / kAlignment * kAlignment, 0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buffer.size();
    view.byteLength = bytes;
    view.target = target;
    const auto* p = static_cast<const unsigned char*>(data);
    buffer.insert(buffer.end(), p, p + bytes);
    m_model.bufferViews.push_back(view);
    return static_cast<int>(m_model.bufferViews.size() - 1);
}

int GltfBuffer::AddFloats(const std::vector<float>& values, int type, bool bounds, int target) {
    const size_t n = static_cast<size_t>(ComponentsOf(type));
    tinygltf::Accessor a;
    a.bufferView = AddView(values.data(), values.size() * sizeof(float), target);
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = type;
    a.count = values.size() / n;
    if (bounds) {
        a.minValues.assign(n, std::numeric_limits<double>::infinity());
        a.maxValues.assign(n, -std::numeric_limits<double>::infinity());
        for (size_t i = 0; i < values.size(); ++i) {
            a.minValues[i % n] = std::min<double>(a.minValues[i % n], values[i]);
            a.maxValues[i % n] = std::max<double>(a.maxValues[i % n], values[i]);
        }
    }
    m_model.accessors.push_back(a);
    return static_cast<int>(m_model.accessors.size() - 1);
}

int GltfBuffer::AddIndices(const std::vector<uint32_t>& indices) {
    const uint32_t highest =
        indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
    tinygltf::Accessor a;
    a.type = TINYGLTF_TYPE_SCALAR;
    a.count = indices.size();
    if (highest < 0xFFFF) {
        std::vector<uint16_t> shorts(indices.begin(), indices.end());
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        a.bufferView =
            AddView(shorts.data(), shorts.size() * 2, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    } else {
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        a.bufferView =
            AddView(indices.data(), indices.size() * 4, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
    }
    m_model.accessors.push_back(a);
    return static_cast<int>(m_model.accessors.size() - 1);
}

int GltfBuffer::AddJoints(const std::vector<uint16_t>& joints, size_t jointCount) {
    tinygltf::Accessor a;
    a.type = TINYGLTF_TYPE_VEC4;
    a.count = joints.size() / 4;
    if (jointCount <= 256) {
        std::vector<uint8_t> bytes(joints.begin(), joints.end());
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
        a.bufferView = AddView(bytes.data(), bytes.size(), TINYGLTF_TARGET_ARRAY_BUFFER);
    } else {
        a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        a.bufferView = AddView(joints.data(), joints.size() * 2, TINYGLTF_TARGET_ARRAY_BUFFER);
    }
    m_model.accessors.push_back(a);
    return static_cast<int>(m_model.accessors.size() - 1);
}

int GltfBuffer::AddPngImage(const std::vector<uint8_t>& png, const std::string& name,
                            uint32_t width, uint32_t height) {
    tinygltf::Image image;
    image.name = name;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.mimeType = "image/png";
    image.bufferView = AddView(png.data(), png.size(), 0);
    m_model.images.push_back(image);
    return static_cast<int>(m_model.images.size() - 1);
}

std::vector<uint8_t> EncodePng(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height,
                               bool opaque) {
    QImage image(static_cast<int>(width), static_cast<int>(height),
                 opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (image.isNull()) return {};
    for (uint32_t y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        const uint32_t* in = pixels.data() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = in[x];
            line[x] =
                qRgba(static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 0xFF),
                      static_cast<int>((p >> 8) & 0xFF), opaque ? 255 : static_cast<int>(p & 0xFF));
        }
    }
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    if (!image.save(&out, "PNG")) return {};
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

bool GltfOutputKind(const std::string& path, bool& binary) {
    const std::string ext = LowerCase(std::filesystem::path(path).extension().string());
    binary = ext == ".glb";
    return binary || ext == ".gltf";
}

std::string GltfBinaryName(const std::string& gltfPath) {
    return std::filesystem::path(gltfPath).stem().string() + ".bin";
}

bool SaveGltf(const tinygltf::Model& model, const std::string& path, std::string& error) {
    bool binary = false;
    if (!GltfOutputKind(path, binary)) {
        error = path + ": the output must be a .glb or a .gltf file";
        return false;
    }
    tinygltf::TinyGLTF writer;
    std::ostringstream json;
    if (!writer.WriteGltfSceneToStream(&model, json, !binary, binary)) {
        error = path + ": the glTF document cannot be written";
        return false;
    }
    std::string text = json.str();
    if (!binary && !model.buffers.empty()) {
        // The library embeds a .gltf's buffer as a data URI; it goes into the
        // .bin file beside it instead, and the URI names that file.
        const std::string dataUri = "\"data:application/octet-stream;base64,";
        const size_t start = text.find(dataUri);
        const size_t end = start == std::string::npos ? start : text.find('"', start + 1);
        if (end == std::string::npos) {
            error = path + ": the glTF document has no buffer to write beside it";
            return false;
        }
        const std::string binName = GltfBinaryName(path);
        text.replace(start, end + 1 - start, "\"" + binName + "\"");
        const std::filesystem::path binPath = std::filesystem::path(path).parent_path() / binName;
        const std::vector<unsigned char>& data = model.buffers[0].data;
        if (!SaveWholeFile(binPath.string(), std::vector<uint8_t>(data.begin(), data.end()), error))
            return false;
    }
    return SaveWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()), error);
}

namespace {

size_t CountOf(const tinygltf::Model& model, int accessor) {
    return accessor >= 0 && static_cast<size_t>(accessor) < model.accessors.size()
               ? model.accessors[static_cast<size_t>(accessor)].count
               : 0;
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

}  // namespace

std::string SummariseGltf(const tinygltf::Model& model) {
    std::ostringstream out;
    out << "  " << model.nodes.size() << " nodes, " << model.meshes.size() << " meshes, "
        << model.materials.size() << " materials, " << model.images.size() << " images, "
        << model.skins.size() << " skins, " << model.animations.size() << " animations, "
        << (model.buffers.empty() ? 0 : model.buffers[0].data.size()) << " bytes of buffer\n";
    for (const tinygltf::Node& node : model.nodes) {
        if (node.mesh < 0) continue;
        const tinygltf::Mesh& mesh = model.meshes[static_cast<size_t>(node.mesh)];
        out << "  mesh " << Quoted(mesh.name);
        if (node.skin >= 0)
            out << " (skinned to " << Quoted(model.skins[static_cast<size_t>(node.skin)].name)
                << ")";
        out << ":\n";
        for (const tinygltf::Primitive& p : mesh.primitives) {
            const auto position = p.attributes.find("POSITION");
            out << "    " << CountOf(model, position == p.attributes.end() ? -1 : position->second)
                << " vertices, " << CountOf(model, p.indices) / 3 << " triangles";
            if (!p.targets.empty()) out << ", " << p.targets.size() << " morph targets";
            const tinygltf::Material& m = model.materials[static_cast<size_t>(p.material)];
            out << ", material " << Quoted(m.name);
            const int texture = m.pbrMetallicRoughness.baseColorTexture.index;
            if (texture >= 0) {
                const tinygltf::Image& image = model.images[static_cast<size_t>(
                    model.textures[static_cast<size_t>(texture)].source)];
                out << " (PNG " << image.width << "x" << image.height
                    << (m.alphaMode == "MASK" ? ", alpha-tested" : "") << ")";
            } else {
                out << " (no texture)";
            }
            out << "\n";
        }
    }
    for (const tinygltf::Skin& skin : model.skins)
        out << "  skin " << Quoted(skin.name) << ": " << skin.joints.size() << " joints\n";
    for (const tinygltf::Animation& a : model.animations) {
        const tinygltf::AnimationSampler& s = a.samplers.front();
        const tinygltf::Accessor& input = model.accessors[static_cast<size_t>(s.input)];
        out << "  animation " << Quoted(a.name) << ": " << a.channels.size() << " channels, "
            << input.count << " keys at 30 per second, " << s.interpolation << "\n";
    }
    return out.str();
}
