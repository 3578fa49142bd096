// The model open commands of the main window: the file dialog, the file read
// into its slot (skeleton, character part, Tessel model), the face count and
// the file name in the control panel, and one tick to show the result.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "viewer/model/ByteReader.h"
#include "viewer/model/ModelKind.h"
#include "viewer/platform/UiServices.h"
#include "viewer/render/MainFrame.h"

namespace fs = std::filesystem;

namespace {

const char* const kBipedFilter = "Biped Files (*.bpd)|*.bpd|All Files (*.*)|*.*||";
const char* const kPartFilter = "Morvane Files (*.mrv)|*.mrv|All Files (*.*)|*.*||";
const char* const kTesselFilter = "Tessel Files (*.tsl)|*.tsl|All Files (*.*)|*.*||";

// Reads a whole model file. False with a message naming the file when it
// cannot be opened or read, or is not a regular file of a readable size.
bool ReadModelFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::string problem;
    if (ReadRegularFile(path, bytes, problem)) return true;
    error = path + ": " + problem;
    return false;
}

// Rendering stops while a slot's model is replaced (message boxes shown
// meanwhile do not redraw the view) and resumes as it was.
class SuspendRendering {
public:
    explicit SuspendRendering(bool& deviceReady) : m_flag(deviceReady), m_was(deviceReady) {
        m_flag = false;
    }
    ~SuspendRendering() { m_flag = m_was; }
    SuspendRendering(const SuspendRendering&) = delete;
    SuspendRendering& operator=(const SuspendRendering&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

// A model's textures are looked up in "textr" beside the model file first,
// when that folder exists, then where the manager looks for every model.
class TexturesBeside {
public:
    TexturesBeside(TextureManager& textures, const std::string& modelPath) : m_textures(textures) {
        std::error_code ec;
        const fs::path beside = fs::path(modelPath).parent_path() / "textr";
        if (fs::is_directory(beside, ec)) m_textures.SetModelDirectory(beside.string() + "/");
    }
    ~TexturesBeside() { m_textures.SetModelDirectory(std::string()); }
    TexturesBeside(const TexturesBeside&) = delete;
    TexturesBeside& operator=(const TexturesBeside&) = delete;

private:
    TextureManager& m_textures;
};

// A Morvane file that is sound but holds nothing to draw: an object count
// of 0, or objects without faces. Such a file empties its slot silently.
bool IsEmptyPartFile(const std::vector<uint8_t>& bytes) {
    ByteReader r(bytes.data(), bytes.size());
    int32_t objectCount = -1;
    if (r.ReadInt32(objectCount) && objectCount == 0) return true;
    PartFileData part;
    std::string error;
    return ParsePartFile(bytes.data(), bytes.size(), part, error) && part.faceTotal == 0;
}

// The highest bone a part's vertices follow; -1 without vertices.
int32_t HighestBone(const CharacterPart& part) {
    int32_t highest = -1;
    for (const PartObject& o : part.objects)
        for (int16_t b : o.boneIndices) highest = b > highest ? b : highest;
    return highest;
}

// A part whose vertices follow bones the skeleton lacks was made for another
// skeleton: those vertices are left unposed, so it draws mangled. Empty when
// the part fits.
std::string SkeletonMismatch(const std::string& partFile, const CharacterPart& part,
                             const std::string& bipedFile, const Biped& biped) {
    const int32_t highest = HighestBone(part);
    if (highest < biped.boneCount) return std::string();
    return partFile + ": made for another skeleton: its vertices follow bones up to " +
           std::to_string(highest) + ", " + bipedFile + " has " + std::to_string(biped.boneCount) +
           " bones; the part will not move with it";
}

// Why a file was refused: what it is when it is another kind of file, else
// the reader's problem.
std::string RefusalText(const std::vector<uint8_t>& bytes, const std::string& path,
                        ModelKind expected, const std::string& error) {
    const std::string wrongKind = WrongKindNote(bytes.data(), bytes.size(), path, expected);
    return wrongKind.empty() ? path + ": " + error : wrongKind;
}

std::string FacesText(int32_t faces) {
    char text[32];
    std::snprintf(text, sizeof text, "Faces: %d", faces);
    return text;
}

}  // namespace

void CMainFrame::ModelChanged() {
    m_frameMessages.Forget();
    if (m_pDevice) m_pDevice->ReleaseUnusedGeometry();
}

void CMainFrame::OpenBiped() {
    std::string path;
    if (!m_ui.OpenFileDialog("bpd", kBipedFilter, path)) return;
    OpenBipedFile(path);
}

void CMainFrame::OpenPart(int slot) {
    std::string path;
    if (!m_ui.OpenFileDialog("mrv", kPartFilter, path)) return;
    OpenPartFile(slot, path, true);
}

void CMainFrame::OpenTessel() {
    std::string path;
    if (!m_ui.OpenFileDialog("tsl", kTesselFilter, path)) return;
    OpenTesselFile(path, true);
}

OpenResult CMainFrame::OpenBipedFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadModelFile(path, bytes, error)) {
        m_ui.MessageBox(error);
        return OpenResult::Unreadable;
    }
    OpenResult result = OpenResult::Opened;
    {
        SuspendRendering suspended(m_bDeviceReady);
        auto biped = std::make_unique<Biped>();
        if (biped->LoadFromMemory(bytes.data(), bytes.size(), error)) {
            m_pBiped = std::move(biped);
            m_bipedFile = path;
            if (m_pControlPanel) m_pControlPanel->SetSlotName(SLOT_SKELETON, FileNameOnly(path));
            std::string mismatches;
            for (int slot = 0; slot < kPartSlots; ++slot) {
                if (!m_pParts[slot]) continue;
                const std::string m =
                    SkeletonMismatch(m_partFiles[slot], *m_pParts[slot], path, *m_pBiped);
                if (!m.empty()) mismatches += (mismatches.empty() ? "" : "\n") + m;
            }
            if (!mismatches.empty()) m_ui.MessageBox(mismatches);
            // The character animation restarts.
            m_nFrame = 0;
        } else {
            // A damaged file changes nothing: the skeleton shown stays.
            m_ui.MessageBox(RefusalText(bytes, path, ModelKind::Biped, error));
            result = OpenResult::Damaged;
        }
    }
    ModelChanged();
    if (m_bActive && m_bDeviceReady) TickFrame();
    return result;
}

OpenResult CMainFrame::OpenPartFile(int slot, const std::string& path, bool reportFaces) {
    if (slot < 0 || slot >= kPartSlots) return OpenResult::Cancelled;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadModelFile(path, bytes, error)) {
        m_ui.MessageBox(error);
        return OpenResult::Unreadable;
    }
    OpenResult result = OpenResult::Opened;
    {
        SuspendRendering suspended(m_bDeviceReady);
        // Opening replaces: the old part goes before the new one is read, so
        // a refused file leaves the slot empty.
        m_pParts[slot].reset();
        auto part = std::make_unique<CharacterPart>(*m_pTextures);
        int32_t faces = 0;
        {
            TexturesBeside textures(*m_pTextures, path);
            faces = part->LoadFromMemory(bytes.data(), bytes.size(), m_pDevice.get(), m_ui, error);
        }
        if (faces != 0) {
            m_pParts[slot] = std::move(part);
            m_partFiles[slot] = path;
            if (reportFaces) m_ui.MessageBox(FacesText(faces));
            if (m_pBiped) {
                const std::string m =
                    SkeletonMismatch(path, *m_pParts[slot], m_bipedFile, *m_pBiped);
                if (!m.empty()) m_ui.MessageBox(m);
            }
            if (m_pControlPanel) m_pControlPanel->SetSlotName(slot, FileNameOnly(path));
        } else {
            if (m_pControlPanel) m_pControlPanel->SetSlotName(slot, "");
            if (IsEmptyPartFile(bytes)) {
                result = OpenResult::Empty;
            } else {
                m_ui.MessageBox(RefusalText(bytes, path, ModelKind::Part, error));
                result = OpenResult::Damaged;
            }
        }
        m_nFrame = 0;
    }
    ModelChanged();
    if (m_bActive && m_bDeviceReady) TickFrame();
    return result;
}

OpenResult CMainFrame::OpenTesselFile(const std::string& path, bool reportFaces) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadModelFile(path, bytes, error)) {
        m_ui.MessageBox(error);
        return OpenResult::Unreadable;
    }
    OpenResult result = OpenResult::Opened;
    {
        SuspendRendering suspended(m_bDeviceReady);
        m_pTessel.reset();
        // A refused file leaves this empty model in the slot.
        m_pTessel = std::make_unique<TesselModel>(*m_pTextures);
        int32_t faces = 0;
        {
            TexturesBeside textures(*m_pTextures, path);
            faces =
                m_pTessel->LoadFromMemory(bytes.data(), bytes.size(), m_pDevice.get(), m_ui, error);
        }
        if (!error.empty()) {
            // The refusal of a header without objects keeps its own words,
            // unless the file is of another kind.
            const std::string wrongKind =
                WrongKindNote(bytes.data(), bytes.size(), path, ModelKind::Tessel);
            m_ui.MessageBox(!wrongKind.empty()           ? wrongKind
                            : error == kNoObjectsMessage ? error
                                                         : path + ": " + error);
            result = OpenResult::Damaged;
        }
        if (reportFaces) m_ui.MessageBox(FacesText(faces));
        if (m_pControlPanel) m_pControlPanel->SetSlotName(SLOT_TESSEL, FileNameOnly(path));
    }
    ModelChanged();
    if (m_bActive && m_bDeviceReady) TickFrame();
    return result;
}
