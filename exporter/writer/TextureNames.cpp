// Texture references: the material table, a node's material reduced to one
// bare, sanitised texture file name, and the material warnings.
#include <cstring>
#include <string>

#include "exporter/host/HostUi.h"
#include "exporter/writer/TesselWriter.h"

const char* const kMaterialCaption = "에라!!";
const char* const kTextureNotEnabled = "Texture가 Enable 되어 있지 않습니다.";
const char* const kSeveralTextures = "Texture가 Material 하나에 여러개가 지정되어 있습니다.";
const char* const kNestedTexture = "Texture 가 이중 구조로 되어 있습니다.";
const char* const kSubMaterialFound = "Sub Material이 발견되었습니다.";
const char* const kExportCaption = "Export Message";

namespace {
void MaterialMessage(const char* text) {
    MessageBoxA(nullptr, text, kMaterialCaption, MB_OK);
}

// Length of the UTF-8 sequence starting at s, or 0 when it is not one.
size_t Utf8Length(const unsigned char* s) {
    auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF) return cont(s[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return s[1] >= lo && s[1] <= hi && cont(s[2]) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return s[1] >= lo && s[1] <= hi && cont(s[2]) && cont(s[3]) ? 4 : 0;
    }
    return 0;
}
}  // namespace

int MaterialTable::AppendUnique(Mtl* m) {
    if (m == nullptr || IndexOf(m) >= 0) return 0;
    Append(1, &m, 25);
    return 1;
}

int MaterialTable::IndexOf(Mtl* m) const {
    for (int i = 0; i < Count(); ++i)
        if ((*this)[i] == m) return i;
    return -1;
}

CStr FileNameOnly(const CStr& path) {
    const std::string& p = path.Std();
    const size_t slash = p.rfind('\\');
    return slash == std::string::npos ? path : CStr(p.substr(slash + 1));
}

const char* SanitizeName(const char* name) {
    static char buffer[260];
    size_t o = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(name ? name : "");
    while (*s != 0 && o < sizeof buffer - 1) {
        const unsigned char c = *s;
        if (c < 0x80) {
            buffer[o++] = c == '"' ? '\'' : (c < 32 ? '_' : static_cast<char>(c));
            ++s;
            continue;
        }
        const size_t n = Utf8Length(s);
        if (n == 0) {  // a byte of some other encoding
            buffer[o++] = '_';
            ++s;
            continue;
        }
        // One character of the Korean code page takes two bytes.
        if (o + 2 > sizeof buffer - 1) break;
        buffer[o++] = '_';
        buffer[o++] = '_';
        s += n;
    }
    buffer[o] = '\0';
    return buffer;
}

void TesselWriter::WriteNodeTexture(INode* node) {
    objectTexture.clear();
    Mtl* material = node ? node->GetMtl() : nullptr;
    if (material == nullptr || materials == nullptr || materials->IndexOf(material) < 0) {
        out.WriteInt32(0);
        return;
    }
    WriteMaterialTexture(material, node);
}

void TesselWriter::WriteMaterialTexture(Mtl* material, INode* node) {
    StdMat* standard = material->ClassID() == Class_ID(DMTL_CLASS_ID, 0)
                           ? dynamic_cast<StdMat*>(material)
                           : nullptr;
    int count = 0;
    for (int i = 0; i < material->NumSubTexmaps(); ++i) {
        Texmap* map = material->GetSubTexmap(i);
        if (map == nullptr) continue;
        if (standard != nullptr && !standard->MapEnabled(i)) {
            MaterialMessage(kTextureNotEnabled);
            continue;
        }
        // One reference per object: the first texture is written; later ones
        // are only reported.
        if (count == 0)
            WriteTextureName(map, node);
        else if (map->NumSubTexmaps() > 0)
            MaterialMessage(kNestedTexture);
        ++count;
        if (count > 1) MaterialMessage(kSeveralTextures);
    }
    if (count == 0) out.WriteInt32(0);
    if (material->NumSubMtls() > 0) MaterialMessage(kSubMaterialFound);
}

void TesselWriter::WriteTextureName(Texmap* map, INode* node) {
    BitmapTex* bitmap =
        map->ClassID() == Class_ID(BMTEX_CLASS_ID, 0) ? dynamic_cast<BitmapTex*>(map) : nullptr;
    if (bitmap == nullptr) {
        out.WriteInt32(0);
    } else {
        const CStr file = FileNameOnly(CStr(bitmap->GetMapName()));
        const char* name = SanitizeName(file);
        const size_t length = std::strlen(name);
        if (length > static_cast<size_t>(MAX_TEXTURE_NAME)) {
            const std::string text = "Texture 이름이 " + std::to_string(MAX_TEXTURE_NAME) +
                                     "바이트보다 깁니다: '" + file.Std() + "' (오브젝트 '" +
                                     (node ? node->GetName() : "") +
                                     "').\r\nTexture 없이 저장합니다.";
            MaterialMessage(text.c_str());
            out.WriteInt32(0);
        } else {
            out.WriteInt32(static_cast<int32_t>(length));
            out.WriteBytes(name, length);
            objectTexture.assign(name, length);
        }
    }
    if (map->NumSubTexmaps() > 0) MaterialMessage(kNestedTexture);
}
