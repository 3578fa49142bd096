#include "viewer/app/ControlDlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/RunState.h"

const char* const kPlayCaption = "Play";
const char* const kStopCaption = "Stop";
const char* const kStartRotationCaption = "조명회전 시작";
const char* const kStopRotationCaption = "조명회전 멈춤";

namespace {

// Template 130 in dialog units: 153 x 250, font "굴림" 10.
constexpr int kPanelWidth = 153;
constexpr int kPanelHeight = 250;

const ItemTemplate kPanelItems[] = {
    {ItemKind::Label, -1, "Biped", 7, 8, 19, 10},
    {ItemKind::CheckBox, IDC_SHOW_BIPED, nullptr, 28, 8, 8, 8},
    {ItemKind::TextField, IDC_BIPED_FILE, nullptr, 40, 7, 65, 12},
    {ItemKind::Button, IDC_OPEN_BIPED, "Biped 열기", 109, 7, 37, 11},
    {ItemKind::Label, -1, "몸통", 7, 31, 19, 8},
    {ItemKind::CheckBox, IDC_SHOW_BODY, nullptr, 28, 30, 8, 8},
    {ItemKind::TextField, IDC_BODY_FILE, nullptr, 40, 29, 65, 12},
    {ItemKind::Button, IDC_OPEN_BODY, "몸통 열기", 109, 29, 37, 11},
    {ItemKind::Label, -1, "헬멧", 7, 43, 15, 11},
    {ItemKind::CheckBox, IDC_SHOW_HELMET, nullptr, 28, 43, 8, 8},
    {ItemKind::TextField, IDC_HELMET_FILE, nullptr, 40, 42, 65, 12},
    {ItemKind::Button, IDC_OPEN_HELMET, "헬멧 열기", 109, 42, 37, 11},
    {ItemKind::Label, -1, "갑옷", 7, 56, 14, 12},
    {ItemKind::CheckBox, IDC_SHOW_ARMOUR, nullptr, 28, 56, 8, 8},
    {ItemKind::TextField, IDC_ARMOUR_FILE, nullptr, 40, 55, 65, 12},
    {ItemKind::Button, IDC_OPEN_ARMOUR, "갑옷 열기", 109, 55, 37, 11},
    {ItemKind::Label, -1, "무기", 7, 70, 13, 13},
    {ItemKind::CheckBox, IDC_SHOW_WEAPON, nullptr, 28, 69, 8, 8},
    {ItemKind::TextField, IDC_WEAPON_FILE, nullptr, 40, 68, 65, 12},
    {ItemKind::Button, IDC_OPEN_WEAPON, "무기 열기", 109, 68, 37, 11},
    {ItemKind::Label, -1, "신발", 7, 84, 13, 13},
    {ItemKind::CheckBox, IDC_SHOW_SHOES, nullptr, 28, 83, 8, 8},
    {ItemKind::TextField, IDC_SHOES_FILE, nullptr, 40, 82, 65, 12},
    {ItemKind::Button, IDC_OPEN_SHOES, "신발 열기", 109, 82, 37, 11},
    {ItemKind::Label, -1, "NPC\n건물", 7, 109, 17, 18},
    {ItemKind::CheckBox, IDC_SHOW_TESSEL, nullptr, 28, 113, 8, 8},
    {ItemKind::TextField, IDC_TESSEL_FILE, nullptr, 40, 112, 65, 12},
    {ItemKind::Button, IDC_OPEN_TESSEL, "테셀 열기", 109, 112, 37, 11},
    {ItemKind::Label, -1, "Frame", 7, 150, 21, 9},
    {ItemKind::Label, -1, "캐릭터", 36, 150, 20, 11},
    {ItemKind::TextField, IDC_CHARACTER_FRAME, nullptr, 57, 148, 30, 12},
    {ItemKind::Label, -1, "NPC\n건물", 92, 146, 17, 18},
    {ItemKind::TextField, IDC_TESSEL_FRAME, nullptr, 110, 148, 30, 12},
    {ItemKind::Button, IDC_PLAY, "Play", 7, 169, 26, 13},
    {ItemKind::Button, IDC_STEP, "Step", 38, 168, 24, 14},
    {ItemKind::TextField, IDC_FPS, nullptr, 83, 169, 35, 12},
    {ItemKind::Label, -1, "FPS", 120, 172, 19, 8},
    {ItemKind::Button, IDC_BACKGROUND_COLOUR, "배경색 변경", 7, 194, 41, 13},
    {ItemKind::Button, IDC_LIGHT_COLOUR, "조명색 변경", 52, 194, 41, 13},
    {ItemKind::Button, IDC_LIGHT_ROTATION, "조명회전 시작", 97, 194, 49, 13},
    {ItemKind::DefaultButton, IDOK, "숨기기", 51, 229, 50, 14},
};

// Check box and file-name field of each slot, in slot order.
const int kShowIds[kShowSlots] = {IDC_SHOW_BODY,  IDC_SHOW_HELMET, IDC_SHOW_ARMOUR, IDC_SHOW_WEAPON,
                                  IDC_SHOW_SHOES, IDC_SHOW_BIPED,  IDC_SHOW_TESSEL};
const int kNameIds[kShowSlots] = {IDC_BODY_FILE,  IDC_HELMET_FILE, IDC_ARMOUR_FILE, IDC_WEAPON_FILE,
                                  IDC_SHOES_FILE, IDC_BIPED_FILE,  IDC_TESSEL_FILE};

// The part slot of each part open button.
struct PartButton {
    int id;
    int slot;
};
const PartButton kPartButtons[] = {{IDC_OPEN_BODY, SLOT_BODY},
                                   {IDC_OPEN_HELMET, SLOT_HELMET},
                                   {IDC_OPEN_ARMOUR, SLOT_ARMOUR},
                                   {IDC_OPEN_WEAPON, SLOT_WEAPON},
                                   {IDC_OPEN_SHOES, SLOT_SHOES}};

QPushButton* Button(const CControlDlg& dlg, int id) {
    return qobject_cast<QPushButton*>(dlg.Item(id));
}

}  // namespace

CControlDlg::CControlDlg(RunState& run)
    : m_run(run),
      m_pShow{&CControlDlg::m_bShowBody,   &CControlDlg::m_bShowHelmet, &CControlDlg::m_bShowArmour,
              &CControlDlg::m_bShowWeapon, &CControlDlg::m_bShowShoes,  &CControlDlg::m_bShowBiped,
              &CControlDlg::m_bShowTessel},
      m_pName{&CControlDlg::m_strBodyFile,   &CControlDlg::m_strHelmetFile,
              &CControlDlg::m_strArmourFile, &CControlDlg::m_strWeaponFile,
              &CControlDlg::m_strShoesFile,  &CControlDlg::m_strBipedFile,
              &CControlDlg::m_strTesselFile} {}

CControlDlg::~CControlDlg() {
    // The main window forgets its panel when the panel's window goes.
    if (m_pFrame && m_pFrame->m_pControlPanel == this) m_pFrame->m_pControlPanel = nullptr;
}

bool CControlDlg::Create(CMainFrame* frame, QWidget* owner) {
    m_pFrame = frame;
    setParent(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
    setWindowTitle("Control Dialog");
    setModal(false);
    setFont(TemplateFont({"Gulim", "굴림"}, 10));
    const DialogUnits units(font());
    setFixedSize(units.Size(kPanelWidth, kPanelHeight));
    for (const ItemTemplate& item : kPanelItems) CreateItem(this, units, item);

    m_btnPlay = Button(*this, IDC_PLAY);
    m_btnLightRotation = Button(*this, IDC_LIGHT_ROTATION);
    // The captions follow the run flags (both stopped at start).
    m_btnPlay->setText(m_run.m_bPlaying ? kStopCaption : kPlayCaption);
    m_btnLightRotation->setText(m_run.m_bRotatingLight ? kStopRotationCaption
                                                       : kStartRotationCaption);

    connect(m_btnPlay, &QPushButton::clicked, this, [this] { OnPlay(); });
    connect(Button(*this, IDC_STEP), &QPushButton::clicked, this, [this] { OnStep(); });
    connect(Button(*this, IDC_OPEN_BIPED), &QPushButton::clicked, this,
            [this] { m_pFrame->OpenBiped(); });
    for (const PartButton& b : kPartButtons) {
        const int slot = b.slot;
        connect(Button(*this, b.id), &QPushButton::clicked, this,
                [this, slot] { m_pFrame->OpenPart(slot); });
    }
    connect(Button(*this, IDC_OPEN_TESSEL), &QPushButton::clicked, this,
            [this] { m_pFrame->OpenTessel(); });
    for (int id : kShowIds) {
        connect(qobject_cast<QCheckBox*>(Item(id)), &QCheckBox::clicked, this,
                [this, id] { OnShowSwitch(id); });
    }
    connect(m_btnLightRotation, &QPushButton::clicked, this, [this] { OnLightRotation(); });
    connect(Button(*this, IDC_LIGHT_COLOUR), &QPushButton::clicked, this,
            [this] { m_pFrame->OnLightColour(); });
    connect(Button(*this, IDC_BACKGROUND_COLOUR), &QPushButton::clicked, this,
            [this] { m_pFrame->OnBackgroundColour(); });
    connect(Button(*this, IDOK), &QPushButton::clicked, this, [this] { accept(); });

    UpdateData(false);
    return true;
}

void CControlDlg::LoadSwitches() {
    for (int slot = 0; slot < kShowSlots; ++slot)
        this->*m_pShow[slot] = m_pFrame->m_bShow[slot] ? 1 : 0;
    UpdateData(false);
}

void CControlDlg::SetSlotName(int slot, const std::string& name) {
    if (slot < 0 || slot >= kShowSlots) return;
    this->*m_pName[slot] = name;
    UpdateData(false);
}

void CControlDlg::SetFpsText(const std::string& text) {
    m_strFps = text;
    UpdateData(false);
}

void CControlDlg::SetCharacterFrameText(const std::string& text) {
    m_strCharacterFrame = text;
    UpdateData(false);
}

void CControlDlg::SetTesselFrameText(const std::string& text) {
    m_strTesselFrame = text;
    UpdateData(false);
}

void CControlDlg::UpdateData(bool saveAndValidate) {
    struct Text {
        int id;
        std::string CControlDlg::*member;
    };
    const Text texts[] = {{IDC_FPS, &CControlDlg::m_strFps},
                          {IDC_CHARACTER_FRAME, &CControlDlg::m_strCharacterFrame},
                          {IDC_TESSEL_FRAME, &CControlDlg::m_strTesselFrame}};
    auto exchangeText = [&](int id, std::string& value) {
        auto* field = qobject_cast<QLineEdit*>(Item(id));
        if (!field) return;
        if (saveAndValidate)
            value = field->text().toStdString();
        else if (field->text() != QString::fromStdString(value))
            field->setText(QString::fromStdString(value));
    };
    for (int slot = 0; slot < kShowSlots; ++slot) {
        if (auto* box = qobject_cast<QCheckBox*>(Item(kShowIds[slot]))) {
            if (saveAndValidate)
                this->*m_pShow[slot] = box->isChecked() ? 1 : 0;
            else
                box->setChecked(this->*m_pShow[slot] != 0);
        }
        exchangeText(kNameIds[slot], this->*m_pName[slot]);
    }
    for (const Text& t : texts) exchangeText(t.id, this->*t.member);
}

QWidget* CControlDlg::Item(int id) const {
    return DialogItem(this, id);
}

void CControlDlg::OnPlay() {
    if (m_run.m_bPlaying) {
        m_run.m_bPlaying = false;
        m_pFrame->m_fLastTickTime = m_pFrame->NowSeconds();
        m_btnPlay->setText(kPlayCaption);
    } else {
        m_btnPlay->setText(kStopCaption);
        m_run.m_bPlaying = true;
        m_pFrame->m_nFpsFrames = 0;
        m_pFrame->m_fFpsLastTime = m_pFrame->NowSeconds();
    }
}

void CControlDlg::OnStep() {
    if (m_pFrame->m_bActive && m_pFrame->m_bDeviceReady) m_pFrame->TickFrame();
}

void CControlDlg::OnShowSwitch(int controlId) {
    UpdateData(true);
    for (int slot = 0; slot < kShowSlots; ++slot) {
        if (kShowIds[slot] == controlId) m_pFrame->m_bShow[slot] = this->*m_pShow[slot] != 0;
    }
    // The present inside tests the device flags.
    m_pFrame->RedrawFrame();
}

void CControlDlg::OnLightRotation() {
    if (m_run.m_bRotatingLight) {
        m_btnLightRotation->setText(kStartRotationCaption);
        m_run.m_bRotatingLight = false;
    } else {
        m_pFrame->m_fLastLightTime = m_pFrame->NowSeconds();
        m_btnLightRotation->setText(kStopRotationCaption);
        m_run.m_bRotatingLight = true;
    }
}

void CControlDlg::accept() {
    UpdateData(true);
    QDialog::accept();
}

void CControlDlg::reject() {
    QDialog::reject();
}

void CControlDlg::keyPressEvent(QKeyEvent* event) {
    const bool enter = (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier) ||
                       (event->key() == Qt::Key_Enter && event->modifiers() == Qt::KeypadModifier);
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    if (enter && focused && focused->isEnabled() && focused != Button(*this, IDOK)) {
        event->accept();
        focused->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
