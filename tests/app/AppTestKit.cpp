#include "tests/app/AppTestKit.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>

std::string FrameTest::Text(int id) const {
    QWidget* item = Item(id);
    if (auto* field = qobject_cast<QLineEdit*>(item)) return field->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(item)) return button->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(item)) return label->text().toStdString();
    ADD_FAILURE() << "no control " << id;
    return "";
}
