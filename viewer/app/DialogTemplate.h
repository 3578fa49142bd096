// Dialogs laid out from templates as the viewer's resources describe them:
// controls with ids at positions in dialog units, converted to pixels with
// the base units of the dialog's font (a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height).
#pragma once

#include <QFont>
#include <QRect>
#include <QSlider>
#include <QStringList>
#include <functional>

class QWidget;

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const { return (units * m_baseX + 2) / 4; }
    int Y(int units) const { return (units * m_baseY + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    QSize Size(int w, int h) const { return QSize(X(w), Y(h)); }

private:
    int m_baseX;
    int m_baseY;
};

// The font of a template: the first of `families` that is installed, then
// the Korean fallbacks, so that Korean captions never show as empty boxes.
QFont TemplateFont(const QStringList& families, int pointSize);

// A trackbar that reports when it lets go of the mouse after a click or a
// drag (keyboard moves report nothing).
class TrackBar : public QSlider {
public:
    explicit TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}
    std::function<void()> onReleasedCapture;
    // Where the thumb is drawn, in the trackbar's coordinates.
    QRect ThumbRect() const;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

enum class ItemKind {
    Label,          // static text
    CheckBox,       // automatic check box without text
    TextField,      // bordered, read-only, auto-scrolling edit
    Button,         // push button
    DefaultButton,  // the dialog's default push button
    TrackBar,       // horizontal trackbar without tick marks
    Icon,           // the application icon
};

struct ItemTemplate {
    ItemKind kind;
    int id;  // -1 for labels without an id
    const char* text;
    int x, y, w, h;  // dialog units
};

// Creates the control of a template item on `dialog` and gives it its id.
QWidget* CreateItem(QWidget* dialog, const DialogUnits& units, const ItemTemplate& item);

// The control of a dialog with the given id, or null.
QWidget* DialogItem(const QWidget* dialog, int id);

// The application icon (drawn: a small figure before a house).
QIcon ZintaroIcon();
