#include "exporter/host/QtHostUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
QString Text(const std::string& s) {
    QString t = QString::fromUtf8(s.data(), static_cast<int>(s.size()));
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

// A multi-line check box: the box and a word-wrapped label that ticks it.
class LabelTicks : public QObject {
public:
    LabelTicks(QCheckBox* box, QObject* parent) : QObject(parent), box(box) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease && box->isEnabled()) {
            box->click();
            return true;
        }
        return false;
    }

private:
    QCheckBox* box;
};
}  // namespace

TemplateDialog::TemplateDialog(DialogWindow& window, QWidget* parent)
    : QDialog(parent), window(window) {
    const DialogTemplate& t = window.Template();
    setWindowTitle(Text(t.caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   ((t.style & WS_SYSMENU) ? Qt::WindowCloseButtonHint : Qt::WindowType(0)));
    QFont f = font();
    if (!t.fontName.empty()) f.setFamily(Text(t.fontName));
    if (t.pointSize > 0) f.setPointSize(t.pointSize);
    setFont(f);
    // Dialog units: a quarter of the font's mean letter width across, an
    // eighth of its height down.
    const QFontMetrics fm(f);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX = std::max(1, (fm.horizontalAdvance(letters) / 26 + 1) / 2);
    baseY = std::max(1, fm.height());
    setFixedSize(PixelsX(t.cx), PixelsY(t.cy));

    for (auto& c : window.Controls()) {
        const DialogItemTemplate& it = c->item;
        QWidget* w = nullptr;
        const QString text = Text(it.text);
        switch (it.kind) {
            case ControlKind::ListBox: {
                auto* list = new QListWidget(this);
                list->setSelectionMode((it.style & LBS_EXTENDEDSEL)
                                           ? QAbstractItemView::ExtendedSelection
                                           : QAbstractItemView::SingleSelection);
                list->setSortingEnabled(false);
                w = list;
                break;
            }
            case ControlKind::PushButton: {
                auto* button = new QPushButton(text, this);
                button->setAutoDefault(false);
                button->setDefault((it.style & BS_DEFPUSHBUTTON) != 0);
                const int id = it.id;
                connect(button, &QPushButton::clicked, this, [this, id] { Command(id, false); });
                w = button;
                break;
            }
            case ControlKind::CheckBox: {
                QWidget* holder = this;
                if (it.style & BS_MULTILINE) {
                    // The box with a word-wrapped label beside it.
                    holder = new QWidget(this);
                    holder->setGeometry(PixelsX(it.x), PixelsY(it.y), PixelsX(it.cx),
                                        PixelsY(it.cy));
                }
                auto* box = new QCheckBox(holder);
                const int id = it.id;
                connect(box, &QCheckBox::clicked, this, [this, id] { Command(id, true); });
                if (holder != this) {
                    auto* row = new QHBoxLayout(holder);
                    row->setContentsMargins(0, 0, 0, 0);
                    row->setSpacing(PixelsX(3));
                    auto* label = new QLabel(text, holder);
                    label->setWordWrap(true);
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                    label->installEventFilter(new LabelTicks(box, label));
                    row->addWidget(box, 0, Qt::AlignTop);
                    row->addWidget(label, 1);
                    items.push_back({c.get(), box});
                    continue;
                }
                box->setText(text);
                w = box;
                break;
            }
            case ControlKind::Edit:
                w = new QLineEdit(this);
                break;
            case ControlKind::Static: {
                auto* label = new QLabel(text, this);
                label->setAlignment(
                    ((it.style & 0x3) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) |
                    Qt::AlignTop);
                label->setWordWrap(true);
                w = label;
                break;
            }
        }
        w->setGeometry(PixelsX(it.x), PixelsY(it.y), PixelsX(it.cx), PixelsY(it.cy));
        items.push_back({c.get(), w});
    }
    PullState();
}

int TemplateDialog::PixelsX(int units) const {
    return (units * baseX + 2) / 4;
}
int TemplateDialog::PixelsY(int units) const {
    return (units * baseY + 4) / 8;
}

QWidget* TemplateDialog::Control(int id) const {
    for (const Item& i : items)
        if (i.control->item.id == id) return i.widget;
    return nullptr;
}

void TemplateDialog::PushState() {
    for (Item& i : items) {
        DialogWindow::Control* c = i.control;
        const int id = c->item.id;
        switch (c->item.kind) {
            case ControlKind::Edit:
                window.SetText(id,
                               static_cast<QLineEdit*>(i.widget)->text().toUtf8().toStdString());
                break;
            case ControlKind::CheckBox:
                window.SetCheck(id, static_cast<QCheckBox*>(i.widget)->isChecked());
                break;
            case ControlKind::ListBox: {
                auto* list = static_cast<QListWidget*>(i.widget);
                for (int k = 0; k < list->count() && k < static_cast<int>(c->list.size()); ++k)
                    window.SetSelected(id, k, list->item(k)->isSelected());
                break;
            }
            default:
                break;
        }
    }
}

void TemplateDialog::PullState() {
    for (Item& i : items) {
        DialogWindow::Control* c = i.control;
        i.widget->setEnabled(c->enabled);
        switch (c->item.kind) {
            case ControlKind::Edit: {
                auto* edit = static_cast<QLineEdit*>(i.widget);
                const QString text = Text(c->text);
                if (edit->text() != text) edit->setText(text);
                break;
            }
            case ControlKind::CheckBox:
                static_cast<QCheckBox*>(i.widget)->setChecked(c->check == BST_CHECKED);
                break;
            case ControlKind::ListBox: {
                auto* list = static_cast<QListWidget*>(i.widget);
                bool same = list->count() == static_cast<int>(c->list.size());
                for (int k = 0; same && k < list->count(); ++k)
                    same = list->item(k)->text() == Text(c->list[static_cast<size_t>(k)].text);
                if (!same) {
                    list->clear();
                    for (const auto& entry : c->list) list->addItem(Text(entry.text));
                }
                for (int k = 0; k < list->count(); ++k)
                    list->item(k)->setSelected(c->list[static_cast<size_t>(k)].selected);
                break;
            }
            case ControlKind::PushButton:
            case ControlKind::Static:
                if (auto* label = qobject_cast<QLabel*>(i.widget))
                    label->setText(Text(c->text));
                else if (auto* button = qobject_cast<QPushButton*>(i.widget))
                    button->setText(Text(c->text));
                break;
        }
    }
}

void TemplateDialog::Command(int id, bool checkBox) {
    PushState();
    if (checkBox) {
        // The box has already changed; the procedure only hears of the click.
        DialogWindow::Control* c = window.Find(id);
        if (c != nullptr && !window.Ended())
            window.Send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                        reinterpret_cast<LPARAM>(c));
    } else {
        window.Click(id);
    }
    if (window.Ended())
        done(static_cast<int>(window.Result()));
    else
        PullState();
}

void TemplateDialog::reject() {
    PushState();
    window.Close();
    if (window.Ended())
        done(static_cast<int>(window.Result()));
    else
        PullState();
}

QtHostUi::QtHostUi() = default;
QtHostUi::~QtHostUi() = default;

void QtHostUi::MessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, Text(caption), Text(text), QMessageBox::Ok,
                    progress.get());
    box.exec();
}

void QtHostUi::ProgressStart(const std::string& title) {
    cancelled = false;
    progress = std::make_unique<QProgressDialog>(Text(title), QString::fromUtf8("취소"), 0, 100);
    progress->setWindowTitle(Text(title));
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setValue(0);
    progress->show();
    QApplication::processEvents();
}

void QtHostUi::ProgressUpdate(int percent, bool, const std::string* title) {
    if (!progress) return;
    if (title) progress->setLabelText(Text(*title));
    progress->setValue(std::max(0, std::min(100, percent)));
    QApplication::processEvents();
}

void QtHostUi::ProgressEnd() {
    if (progress && progress->wasCanceled()) cancelled = true;
    progress.reset();
    QApplication::processEvents();
}

bool QtHostUi::CancelRequested() {
    QApplication::processEvents();
    if (progress && progress->wasCanceled()) cancelled = true;
    return cancelled;
}

void QtHostUi::SetCancel(bool cancel) {
    cancelled = cancel;
}

void QtHostUi::Assertion(const std::string& file, int line) {
    std::fprintf(stderr, "[Assertion] %s, line %d\n", file.c_str(), line);
}

void QtHostUi::RunDialog(DialogWindow& dialog) {
    if (prepareDialog) prepareDialog(dialog);
    if (dialog.Ended()) return;
    TemplateDialog window(dialog);
    window.exec();
}

bool QtCanShowWindows() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0';
    };
    if (set("QT_QPA_PLATFORM")) {
        const std::string platform = std::getenv("QT_QPA_PLATFORM");
        return platform.rfind("offscreen", 0) != 0 && platform.rfind("minimal", 0) != 0;
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

namespace {
// What the message handler needs while the application opens its display.
struct Opening {
    const char* program = "";
    QtMessageHandler previous = nullptr;
    std::string reason;  // Qt's first warning: why the display could not be opened
};
Opening opening;

void OpeningHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (opening.reason.empty() && (type == QtWarningMsg || type == QtCriticalMsg))
            opening.reason = message.toStdString();
        if (opening.previous) opening.previous(type, context, message);
        return;
    }
    // Qt ends the program after a fatal message: it ends here, as a usage
    // error, before anything was written.
    std::string where;
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        where += std::string(where.empty() ? "" : ", ") + name + "='" + value + "'";
    }
    std::fprintf(stderr, "%s: --interactive cannot open a window (%s): %s\n", opening.program,
                 where.c_str(),
                 opening.reason.empty() ? message.toStdString().c_str() : opening.reason.c_str());
    std::fflush(nullptr);
    std::_Exit(2);
}
}  // namespace

std::unique_ptr<QApplication> OpenWindowApplication(int& argc, char** argv, const char* program) {
    opening.program = program;
    opening.reason.clear();
    opening.previous = qInstallMessageHandler(OpeningHandler);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(opening.previous);
    return app;
}
