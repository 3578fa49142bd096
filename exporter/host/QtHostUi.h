// The host's UI services in windows (Qt Widgets): message boxes, a progress
// dialog whose cancel button cancels the export, and modal dialogs drawn
// from their templates. The dialog procedure keeps working on the
// DialogWindow; the window mirrors it: what the user types, ticks and
// highlights is passed on before each click, and what the procedure changes
// is shown after it.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "exporter/host/HostDialog.h"
#include "exporter/host/HostUi.h"

class QListWidget;
class QLineEdit;
class QCheckBox;
class QProgressDialog;
class QWidget;

class TemplateDialog : public QDialog {
public:
    explicit TemplateDialog(DialogWindow& window, QWidget* parent = nullptr);

    // The widget of control `id` (QListWidget, QPushButton, QCheckBox,
    // QLineEdit or QLabel), or null.
    QWidget* Control(int id) const;
    // Pixels of a length in dialog units, across and down.
    int PixelsX(int units) const;
    int PixelsY(int units) const;

    void reject() override;

private:
    struct Item {
        DialogWindow::Control* control;
        QWidget* widget;
    };
    void PushState();
    void PullState();
    void Command(int id, bool checkBox);

    DialogWindow& window;
    std::vector<Item> items;
    int baseX = 6, baseY = 13;
};

class QtHostUi : public HostUi {
public:
    QtHostUi();
    ~QtHostUi() override;

    void MessageBox(const std::string& text, const std::string& caption) override;
    void ProgressStart(const std::string& title) override;
    void ProgressUpdate(int percent, bool showPercent, const std::string* title) override;
    void ProgressEnd() override;
    bool CancelRequested() override;
    void SetCancel(bool cancel) override;
    void Assertion(const std::string& file, int line) override;
    void RunDialog(DialogWindow& dialog) override;

    // Runs on every dialog before its window is shown (for example to type
    // texts given on the command line).
    std::function<void(DialogWindow&)> prepareDialog;

private:
    std::unique_ptr<QProgressDialog> progress;
    bool cancelled = false;
};

// True when Qt can show windows someone sees here: a display (X11 or
// Wayland) or a platform chosen with QT_QPA_PLATFORM other than offscreen
// and minimal, which show them to nobody.
bool QtCanShowWindows();

// The application for windows someone answers. When Qt cannot open the
// display (a DISPLAY whose server is gone, a Wayland socket nobody serves),
// where Qt itself would abort, `program` says so on standard error with Qt's
// reason and the process ends with exit status 2.
std::unique_ptr<QApplication> OpenWindowApplication(int& argc, char** argv, const char* program);
