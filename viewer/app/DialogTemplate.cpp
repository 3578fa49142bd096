#include "viewer/app/DialogTemplate.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace {
const char* const kIdProperty = "controlId";
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded as Windows does.
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = std::max(1, (letters / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

QFont TemplateFont(const QStringList& families, int pointSize) {
    QStringList all = families;
    all << "NanumGothic"
        << "NanumBarunGothic"
        << "Noto Sans CJK KR"
        << "UnDotum";
    QFont font;
    font.setFamilies(all);
    font.setPointSize(pointSize);
    return font;
}

QRect TrackBar::ThumbRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

void TrackBar::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && onReleasedCapture) onReleasedCapture();
}

QWidget* CreateItem(QWidget* dialog, const DialogUnits& units, const ItemTemplate& item) {
    const QString text = QString::fromUtf8(item.text ? item.text : "");
    QWidget* widget = nullptr;
    switch (item.kind) {
        case ItemKind::Label: {
            auto* label = new QLabel(text, dialog);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case ItemKind::CheckBox:
            widget = new QCheckBox(dialog);
            break;
        case ItemKind::TextField: {
            auto* field = new QLineEdit(dialog);
            field->setReadOnly(true);
            field->setFrame(true);
            widget = field;
            break;
        }
        case ItemKind::Button:
        case ItemKind::DefaultButton: {
            auto* button = new QPushButton(text, dialog);
            button->setAutoDefault(false);
            button->setDefault(item.kind == ItemKind::DefaultButton);
            widget = button;
            break;
        }
        case ItemKind::TrackBar: {
            auto* bar = new TrackBar(dialog);
            bar->setTickPosition(QSlider::NoTicks);
            bar->setFocusPolicy(Qt::StrongFocus);
            widget = bar;
            break;
        }
        case ItemKind::Icon: {
            auto* label = new QLabel(dialog);
            label->setPixmap(ZintaroIcon().pixmap(32, 32));
            widget = label;
            break;
        }
    }
    QRect rect = units.Rect(item.x, item.y, item.w, item.h);
    if (item.kind == ItemKind::Icon) rect.setSize(QSize(32, 32));
    widget->setGeometry(rect);
    widget->setProperty(kIdProperty, item.id);
    if (item.id >= 0) widget->setObjectName(QString("item%1").arg(item.id));
    return widget;
}

QWidget* DialogItem(const QWidget* dialog, int id) {
    if (id < 0) return nullptr;
    return dialog->findChild<QWidget*>(QString("item%1").arg(id), Qt::FindDirectChildrenOnly);
}

QIcon ZintaroIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(40, 70, 140));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Ground, a house with a red roof, and a figure in front of it.
    p.fillRect(0, 24, 32, 8, QColor(60, 150, 60));
    p.fillRect(15, 13, 14, 12, QColor(200, 90, 60));
    p.setBrush(QColor(170, 40, 30));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygon({QPoint(13, 14), QPoint(22, 6), QPoint(31, 14)}));
    p.setBrush(QColor(240, 220, 180));
    p.drawEllipse(QPoint(9, 8), 3, 3);
    p.setBrush(QColor(230, 190, 40));
    p.drawRect(6, 12, 6, 9);
    p.setBrush(QColor(40, 50, 110));
    p.drawRect(6, 21, 2, 7);
    p.drawRect(10, 21, 2, 7);
    p.end();
    return QIcon(pixmap);
}
