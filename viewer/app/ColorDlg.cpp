#include "viewer/app/ColorDlg.h"

#include <QLineEdit>
#include <QPushButton>

#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"
#include "viewer/render/MainFrame.h"

namespace {

constexpr int kDialogWidth = 171;
constexpr int kPageSize = 20;
constexpr int kRangeMaximum = 255;

// The controls both templates share.
const ItemTemplate kColourItems[] = {
    {ItemKind::Label, -1, "Red", 7, 9, 26, 10},
    {ItemKind::Label, -1, "Green", 7, 20, 26, 10},
    {ItemKind::Label, -1, "Blue", 7, 31, 26, 10},
    {ItemKind::TrackBar, IDC_SLIDER_RED, nullptr, 31, 8, 101, 10},
    {ItemKind::TrackBar, IDC_SLIDER_GREEN, nullptr, 31, 20, 101, 10},
    {ItemKind::TrackBar, IDC_SLIDER_BLUE, nullptr, 31, 32, 101, 10},
    {ItemKind::TextField, IDC_RED_TEXT, nullptr, 135, 7, 29, 12},
    {ItemKind::TextField, IDC_GREEN_TEXT, nullptr, 135, 19, 29, 12},
    {ItemKind::TextField, IDC_BLUE_TEXT, nullptr, 135, 31, 29, 12},
    {ItemKind::Label, -1, "0", 34, 43, 10, 8},
    {ItemKind::Label, -1, "255", 119, 42, 15, 8},
};

std::string Decimal(int value) {
    return std::to_string(value);
}

}  // namespace

CColorDlg::CColorDlg(CMainFrame* frame, QWidget* parent, const Layout& layout)
    : QDialog(parent), m_pFrame(frame), m_layout(layout) {}

CColorDlg::~CColorDlg() = default;

void CColorDlg::OnInitDialog() {
    setWindowTitle(QString::fromUtf8(m_layout.title));
    setModal(true);
    setFont(TemplateFont({"System"}, 10));
    const DialogUnits units(font());
    setFixedSize(units.Size(kDialogWidth, m_layout.height));
    for (const ItemTemplate& item : kColourItems) CreateItem(this, units, item);
    const ItemTemplate ok = {
        ItemKind::DefaultButton, IDOK, m_layout.okText, 63, m_layout.okY, 50, 14};
    connect(static_cast<QPushButton*>(CreateItem(this, units, ok)), &QPushButton::clicked, this,
            [this] { accept(); });

    m_sliderRed = static_cast<TrackBar*>(Item(IDC_SLIDER_RED));
    m_sliderGreen = static_cast<TrackBar*>(Item(IDC_SLIDER_GREEN));
    m_sliderBlue = static_cast<TrackBar*>(Item(IDC_SLIDER_BLUE));
    for (TrackBar* bar : {m_sliderRed, m_sliderGreen, m_sliderBlue}) {
        bar->setMaximum(kRangeMaximum);  // the minimum stays 0, the line size 1
        bar->setPageStep(kPageSize);
    }
    m_sliderRed->onReleasedCapture = [this] { OnReleasedCaptureRed(); };
    m_sliderGreen->onReleasedCapture = [this] { OnReleasedCaptureGreen(); };
    m_sliderBlue->onReleasedCapture = [this] { OnReleasedCaptureBlue(); };

    m_nRed = Component(0);
    m_nGreen = Component(1);
    m_nBlue = Component(2);
    m_strRed = Decimal(m_nRed);
    m_strGreen = Decimal(m_nGreen);
    m_strBlue = Decimal(m_nBlue);
    UpdateData(false);
}

void CColorDlg::UpdateData(bool saveAndValidate) {
    struct Binding {
        TrackBar* slider;
        int* value;
        int textId;
        std::string* text;
    };
    const Binding bindings[] = {{m_sliderRed, &m_nRed, IDC_RED_TEXT, &m_strRed},
                                {m_sliderGreen, &m_nGreen, IDC_GREEN_TEXT, &m_strGreen},
                                {m_sliderBlue, &m_nBlue, IDC_BLUE_TEXT, &m_strBlue}};
    for (const Binding& b : bindings) {
        auto* field = static_cast<QLineEdit*>(Item(b.textId));
        if (saveAndValidate) {
            *b.value = b.slider->value();
            *b.text = field->text().toStdString();
        } else {
            b.slider->setValue(*b.value);
            field->setText(QString::fromStdString(*b.text));
        }
    }
}

QWidget* CColorDlg::Item(int id) const {
    return DialogItem(this, id);
}

void CColorDlg::OnReleasedCaptureRed() {
    Released(0);
}
void CColorDlg::OnReleasedCaptureGreen() {
    Released(1);
}
void CColorDlg::OnReleasedCaptureBlue() {
    Released(2);
}

void CColorDlg::Released(int rgbIndex) {
    UpdateData(true);
    int* const values[3] = {&m_nRed, &m_nGreen, &m_nBlue};
    std::string* const texts[3] = {&m_strRed, &m_strGreen, &m_strBlue};
    *texts[rgbIndex] = Decimal(*values[rgbIndex]);
    UpdateData(false);
    Component(rgbIndex) = *values[rgbIndex];
    ApplyColour();
}

CBackColorDlg::CBackColorDlg(CMainFrame* frame, QWidget* parent)
    : CColorDlg(frame, parent, {"배경색상 지정", 76, "확   인", 55}) {
    OnInitDialog();
}

int& CBackColorDlg::Component(int rgbIndex) {
    int* const components[3] = {&m_pFrame->m_nBackRed, &m_pFrame->m_nBackGreen,
                                &m_pFrame->m_nBackBlue};
    return *components[rgbIndex];
}

void CBackColorDlg::ApplyColour() {
    m_pFrame->ApplyBackgroundColour();
}

CLightColorDlg::CLightColorDlg(CMainFrame* frame, QWidget* parent)
    : CColorDlg(frame, parent, {"Light 색상 지정", 80, "OK", 59}) {
    OnInitDialog();
}

int& CLightColorDlg::Component(int rgbIndex) {
    int* const components[3] = {&m_pFrame->m_nLightRed, &m_pFrame->m_nLightGreen,
                                &m_pFrame->m_nLightBlue};
    return *components[rgbIndex];
}

void CLightColorDlg::ApplyColour() {
    m_pFrame->ApplyLight();
}
