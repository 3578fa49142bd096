// The about box (template 100): the icon, the version line and the rights
// notice, with an OK button.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent);
    QWidget* Item(int id) const;
};

extern const char* const kRightsNotice;
