#include "viewer/app/QtUiServices.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

QString QtFileFilter(const std::string& filter) {
    const QStringList fields = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString name = fields[i].trimmed();
        const QString patternField = fields[i + 1].trimmed();
        if (name.isEmpty() && patternField.isEmpty()) break;  // the closing "||"
        QStringList patterns;
        for (const QString& pattern : patternField.split(';', Qt::SkipEmptyParts))
            patterns << (pattern.trimmed() == "*.*" ? QString("*") : pattern.trimmed());
        if (patterns.isEmpty()) patterns << "*";
        // The name's own "(...)" is replaced by the patterns that apply.
        const qsizetype open = name.lastIndexOf('(');
        if (open > 0 && name.endsWith(')')) name = name.left(open).trimmed();
        filters << name + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

void QtUiServices::MessageBox(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Zintaro", QString::fromStdString(text), QMessageBox::Ok,
                    m_parent);
    box.exec();
}

bool QtUiServices::OpenFileDialog(const std::string& defaultExtension, const std::string& filter,
                                  std::string& path) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QtFileFilter(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    path = QFile::encodeName(chosen.front()).toStdString();
    return true;
}
