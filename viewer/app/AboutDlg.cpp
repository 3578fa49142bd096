#include "viewer/app/AboutDlg.h"

#include <QPushButton>

#include "viewer/app/DialogTemplate.h"
#include "viewer/app/Resource.h"

const char* const kRightsNotice = "Copyright (C) 2000 Zintaro. All rights reserved.";

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Zintaro");
    setModal(true);
    setFont(TemplateFont({"MS Sans Serif", "DejaVu Sans"}, 8));
    const DialogUnits units(font());
    setFixedSize(units.Size(235, 55));
    const ItemTemplate items[] = {
        {ItemKind::Icon, -1, nullptr, 11, 17, 20, 20},
        {ItemKind::Label, -1, "Zintaro Version 1.0", 40, 10, 119, 8},
        {ItemKind::Label, -1, kRightsNotice, 40, 25, 188, 8},
        {ItemKind::DefaultButton, IDOK, "OK", 178, 7, 50, 14},
    };
    for (const ItemTemplate& item : items) CreateItem(this, units, item);
    connect(static_cast<QPushButton*>(Item(IDOK)), &QPushButton::clicked, this,
            [this] { accept(); });
}

QWidget* CAboutDlg::Item(int id) const {
    return DialogItem(this, id);
}
