// The viewer's UI services on Qt: message boxes with an OK button and the
// open-file dialog.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <string>

#include "viewer/platform/UiServices.h"

class QtUiServices : public UiServices {
public:
    // The window the boxes and dialogs are shown over (may be null).
    void SetParent(QWidget* parent) { m_parent = parent; }

    void MessageBox(const std::string& text) override;
    // Any file name may be typed in, also of a file that does not exist; a
    // name without an extension gets `defaultExtension`.
    bool OpenFileDialog(const std::string& defaultExtension, const std::string& filter,
                        std::string& path) override;

private:
    QPointer<QWidget> m_parent;
};

// A filter in the "Name (*.x)|*.x|All Files (*.*)|*.*||" form as Qt's name
// filters ("Name (*.x);;All Files (*)"): each name keeps its text with the
// patterns of its pair in the parentheses; "*.*" (every file on Windows)
// becomes "*".
QString QtFileFilter(const std::string& filter);
