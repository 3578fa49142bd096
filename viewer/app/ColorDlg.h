// The two colour dialogs: three trackbars (red, green, blue, 0-255) with their
// value fields. A component is applied to the scene when the mouse lets go of
// its trackbar, so the view changes while the dialog is open; closing the
// dialog only closes it.
#pragma once

#include <QDialog>
#include <string>

class CMainFrame;
class TrackBar;

// What the background and the light dialog have in common.
class CColorDlg : public QDialog {
public:
    ~CColorDlg() override;

    // Moves the members into the controls (false) or reads the controls into
    // the members (true).
    void UpdateData(bool saveAndValidate);
    // The control with a template id, or null.
    QWidget* Item(int id) const;

    // Release of the mouse on a trackbar (1028 red, 1029 green, 1030 blue).
    void OnReleasedCaptureRed();
    void OnReleasedCaptureGreen();
    void OnReleasedCaptureBlue();

    CMainFrame* m_pFrame;
    TrackBar* m_sliderRed = nullptr;
    TrackBar* m_sliderGreen = nullptr;
    TrackBar* m_sliderBlue = nullptr;
    std::string m_strBlue, m_strGreen, m_strRed;
    int m_nBlue = 0, m_nGreen = 0, m_nRed = 0;

protected:
    struct Layout {
        const char* title;
        int height;  // dialog units
        const char* okText;
        int okY;  // dialog units
    };
    CColorDlg(CMainFrame* frame, QWidget* parent, const Layout& layout);
    // Builds the controls and takes the current colour (the framework's
    // dialog initialisation); called by the derived constructors.
    void OnInitDialog();

    // The colour the dialog edits, its components 0-255.
    virtual int& Component(int rgbIndex) = 0;
    // Puts the edited colour into the scene.
    virtual void ApplyColour() = 0;

private:
    void Released(int rgbIndex);
    const Layout m_layout;
};

// The background colour of the view ("배경색상 지정", template 131).
class CBackColorDlg : public CColorDlg {
public:
    CBackColorDlg(CMainFrame* frame, QWidget* parent);

protected:
    int& Component(int rgbIndex) override;
    void ApplyColour() override;
};

// The colour of the light ("Light 색상 지정", template 132).
class CLightColorDlg : public CColorDlg {
public:
    CLightColorDlg(CMainFrame* frame, QWidget* parent);

protected:
    int& Component(int rgbIndex) override;
    void ApplyColour() override;
};
