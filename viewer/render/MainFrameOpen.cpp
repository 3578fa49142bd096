// The model open commands of the main window: the file dialog, the file read
// into its slot (skeleton, character part, Tessel model), the face count and
// the file name in the control panel, and one tick to show the result.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "ByteReader.h"
#include "MainFrame.h"
#include "UiServices.h"

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
            if (m_pControlPanel) m_pControlPanel->SetSlotName(SLOT_SKELETON, FileNameOnly(path));
            // The character animation restarts.
            m_nFrame = 0;
        } else {
            // A damaged file changes nothing: the skeleton shown stays.
            m_ui.MessageBox(path + ": " + error);
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
            if (reportFaces) m_ui.MessageBox(FacesText(faces));
            if (m_pControlPanel) m_pControlPanel->SetSlotName(slot, FileNameOnly(path));
        } else {
            if (m_pControlPanel) m_pControlPanel->SetSlotName(slot, "");
            if (IsEmptyPartFile(bytes)) {
                result = OpenResult::Empty;
            } else {
                m_ui.MessageBox(path + ": " + error);
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
            // The refusal of a header without objects keeps its own words.
            m_ui.MessageBox(error == kNoObjectsMessage ? error : path + ": " + error);
            result = OpenResult::Damaged;
        }
        if (reportFaces) m_ui.MessageBox(FacesText(faces));
        if (m_pControlPanel) m_pControlPanel->SetSlotName(SLOT_TESSEL, FileNameOnly(path));
    }
    ModelChanged();
    if (m_bActive && m_bDeviceReady) TickFrame();
    return result;
}
