#include "kx/gui/ScriptPlayer.h"

#include <qcustomplot.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "DialogWindow.h"
#include "drive/VirtualDrive.h"
#include "kx/gui/Clock.h"
#include "kx/gui/DriveHost.h"

namespace kx {
namespace {

constexpr unsigned kTabControl = 1300;
constexpr double kLongestWait = 3600.0;  // host seconds a bare "wait" lets pass at most

std::set<const void*>& BusyOwners() {
    static std::set<const void*> owners;
    return owners;
}

std::string Text(const QString& text) { return text.toStdString(); }

QString Q(const std::string& text) { return QString::fromStdString(text); }

QWidget* FindControl(QWidget* window, unsigned id) {
    if (!window) return nullptr;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const QVariant ctrlId = widget->property("ctrlId");
        if (ctrlId.isValid() && ctrlId.toUInt() == id && widget->window() == window) return widget;
    }
    return nullptr;
}

unsigned IdOf(const ScriptWord& word) {
    unsigned id = 0;
    ParseControlId(word.text, id);
    return id;
}

// What a control shows as its text.
QString ControlText(const QWidget* widget) {
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return ShownText(button->text());
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->buddy() ? ShownText(label->text()) : label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) return ShownText(group->title());
    if (auto* list = qobject_cast<const QComboBox*>(widget)) return list->currentText();
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) return plain->toPlainText();
    if (auto* rich = qobject_cast<const QTextEdit*>(widget)) return rich->toPlainText();
    if (auto* tabs = qobject_cast<const QTabWidget*>(widget))
        return ShownText(tabs->tabText(tabs->currentIndex()));
    return widget->windowTitle();
}

// Item data as a script writes it: a whole number without decimals.
std::string DataText(const QVariant& data) {
    if (!data.isValid()) return "";
    bool ok = false;
    const double number = data.toDouble(&ok);
    if (ok && std::isfinite(number)) {
        if (number == std::trunc(number) && std::fabs(number) < 1e15)
            return std::to_string(static_cast<long long>(number));
        return Text(QLocale::c().toString(number, 'g', 17));
    }
    return Text(data.toString());
}

bool DataMatches(const QVariant& data, const ScriptWord& word) {
    double wanted = 0.0;
    bool ok = false;
    const double number = data.toDouble(&ok);
    if (ok && ParseScriptNumber(word.text, wanted)) return number == wanted;
    return Text(data.toString()) == word.text;
}

int FindItem(const QComboBox* list, const ScriptWord& word) {
    for (int i = 0; i < list->count(); ++i) {
        if (word.quoted ? Text(list->itemText(i)) == word.text : DataMatches(list->itemData(i), word))
            return i;
    }
    return -1;
}

std::string Quote(const std::string& text) { return nlohmann::json(text).dump(); }

nlohmann::ordered_json DescribeControl(QWidget* window, QWidget* widget) {
    nlohmann::ordered_json c;
    c["id"] = widget->property("ctrlId").toUInt();
    c["class"] = widget->metaObject()->className();
    c["text"] = Text(ControlText(widget));
    c["enabled"] = widget->isEnabled();
    c["shown"] = widget->isVisibleTo(window);
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
        c["checked"] = button->isChecked();
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (int i = 0; i < list->count(); ++i)
            items.push_back({{"text", Text(list->itemText(i))}, {"data", DataText(list->itemData(i))}});
        c["items"] = items;
        c["selected"] = DataText(list->currentData());
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) c["readOnly"] = edit->isReadOnly();
    return c;
}

// The top window in a few words, for a failure message.
std::string DescribeTop(QWidget* window) {
    if (!window) return "no window is open";
    if (auto* box = qobject_cast<QMessageBox*>(window))
        return "the window on top is the message box " + Quote(Text(box->text()));
    std::string text = "the window on top is " + Quote(Text(window->windowTitle()));
    const QVariant id = window->property("templateId");
    if (id.isValid()) text += " (template " + std::to_string(id.toUInt()) + ")";
    return text;
}

std::string DescribeState(QWidget* window, QWidget* widget) { return DescribeControl(window, widget).dump(); }

QMessageBox::StandardButton MessageButton(const std::string& word) {
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ok") return QMessageBox::Ok;
    if (lower == "yes") return QMessageBox::Yes;
    if (lower == "no") return QMessageBox::No;
    if (lower == "cancel") return QMessageBox::Cancel;
    return QMessageBox::NoButton;
}

// "value NUMBER (as shown)": the shown text read as a number equals NUMBER
// rounded to the digits shown.
bool ShownValueIs(const QString& shown, double wanted) {
    bool ok = false;
    QLocale user;
    user.setNumberOptions(QLocale::RejectGroupSeparator);
    double value = user.toDouble(shown.trimmed(), &ok);
    if (!ok) value = QLocale::c().toDouble(shown.trimmed(), &ok);
    if (!ok) return false;
    const QString trimmed = shown.trimmed();
    const qsizetype point = std::max(trimmed.lastIndexOf(user.decimalPoint()), trimmed.lastIndexOf(u'.'));
    const int digits = point < 0 ? 0 : static_cast<int>(trimmed.size() - point - 1);
    const double step = std::pow(10.0, -digits);
    return std::fabs(value - wanted) <= 0.5 * step + 1e-12 * std::fabs(wanted);
}

QWidget* HelpViewer() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "kxHelpViewer" && widget->isVisible()) return widget;
    return nullptr;
}

}  // namespace

void SetHostBusy(const void* owner, bool busy) {
    if (busy)
        BusyOwners().insert(owner);
    else
        BusyOwners().erase(owner);
}

bool IsHostBusy() { return !BusyOwners().empty(); }

struct ScriptPlayer::Check {
    bool ready = false;
    std::string found;  // what was there instead
};

ScriptPlayer::ScriptPlayer(std::vector<ScriptStep> steps, ScriptOptions options)
    : m_steps(std::move(steps)), m_options(std::move(options)), m_alive(std::make_shared<bool>(true)) {}

ScriptPlayer::~ScriptPlayer() { *m_alive = false; }

QWidget* ScriptPlayer::TopWindow() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return nullptr;
}

void ScriptPlayer::Start() { Post(); }

void ScriptPlayer::Post() {
    if (m_posted || m_finishing) return;
    m_posted = true;
    const std::weak_ptr<bool> alive = m_alive;
    // In real time a step that waits looks again a little later; in virtual
    // time nothing can change between two looks unless the player moves the
    // clock, so it looks again at once.
    const bool real = HostClock::Instance().GetMode() == HostClock::Mode::Real;
    QTimer::singleShot(real && m_waitStart >= 0.0 ? 10 : 0, [this, alive] {
        if (alive.expired()) return;
        m_posted = false;
        Pump();
    });
}

void ScriptPlayer::Pump() {
    // The next look is scheduled before this one acts: an action that opens a
    // modal window runs a nested event loop, and the script goes on in it.
    if (m_failed) {
        CloseWindows();
        return;
    }
    if (m_waiting && TopWindow() == m_waitTop) {
        m_deferred = true;
        return;
    }
    if (m_menuStep) {
        Post();
        ChooseFromMenu();
        return;
    }
    if (m_index >= m_steps.size()) {
        if (QWidget* top = TopWindow()) {
            m_failed = true;
            m_failure = "the script ended while a window is still open: " + DescribeTop(top);
            Post();
        }
        return;
    }
    Post();
    RunStep(m_steps[m_index]);
}

void ScriptPlayer::RunStep(const ScriptStep& step) {
    HostClock& clock = HostClock::Instance();
    if (m_waitStart < 0.0) m_waitStart = clock.Now();
    const Check check = Ready(step);
    if (check.ready) {
        m_waitStart = -1.0;
        ++m_index;
        Act(step);
        return;
    }
    const double deadline = m_waitStart + m_options.timeout;
    if (clock.Now() >= deadline) {
        Fail(&step, check.found);
        return;
    }
    if (clock.GetMode() == HostClock::Mode::Virtual) {
        // Let host time pass up to the next timer (or the deadline) and look again.
        const double next = std::min(clock.NextDue(), deadline);
        clock.AdvanceTo(next, [] { return true; });
    }
}

ScriptPlayer::Check ScriptPlayer::Ready(const ScriptStep& step) const {
    QWidget* top = TopWindow();
    const auto& a = step.args;
    Check check;
    check.found = DescribeTop(top);
    auto control = [&](unsigned id) -> QWidget* {
        QWidget* widget = FindControl(top, id);
        if (!widget && top) check.found += "; it has no control " + std::to_string(id);
        return widget;
    };
    switch (step.verb) {
        case ScriptVerb::Expect:
            check.ready = top && Text(top->windowTitle()) == a[0].text;
            break;
        case ScriptVerb::Message: {
            auto* box = qobject_cast<QMessageBox*>(top);
            check.ready = box && Text(box->text()) == a[0].text;
            break;
        }
        case ScriptVerb::Click:
            if (const auto button = MessageButton(a[0].text);
                button != QMessageBox::NoButton && !a[0].quoted) {
                auto* box = qobject_cast<QMessageBox*>(top);
                check.ready = box && box->button(button);
                if (box && !check.ready) check.found += "; it has no " + a[0].text + " button";
            } else {
                check.ready = control(IdOf(a[0])) != nullptr;
            }
            break;
        case ScriptVerb::Set:
        case ScriptVerb::Select:
        case ScriptVerb::Unit:
        case ScriptVerb::Menu:
        case ScriptVerb::Wheel:
            check.ready = control(IdOf(a[0])) != nullptr;
            break;
        case ScriptVerb::Tab:
            check.ready = control(kTabControl) != nullptr;
            break;
        case ScriptVerb::Key:
        case ScriptVerb::Dump:
        case ScriptVerb::Shot:
            check.ready = top != nullptr;
            break;
        case ScriptVerb::Wait:
        case ScriptVerb::Turn:
        case ScriptVerb::Analogue:
        case ScriptVerb::Supply:
        case ScriptVerb::Block:
        case ScriptVerb::Fault:
            check.ready = true;
            break;
        case ScriptVerb::ExpectHelp: {
            double context = 0.0;
            ParseScriptNumber(a[0].text, context);
            QWidget* viewer = HelpViewer();
            check.ready = viewer && viewer->property("helpContext").toDouble() == context;
            check.found = viewer ? "the help viewer shows context " +
                                       std::to_string(viewer->property("helpContext").toUInt())
                                 : "the help viewer is not open";
            break;
        }
        case ScriptVerb::Assert: {
            QWidget* widget = control(IdOf(a[0]));
            if (!widget) break;
            std::string state = a[1].text;
            for (char& c : state) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            auto* button = qobject_cast<QAbstractButton*>(widget);
            if (state == "enabled")
                check.ready = widget->isEnabled();
            else if (state == "disabled")
                check.ready = !widget->isEnabled();
            else if (state == "shown")
                check.ready = widget->isVisibleTo(top);
            else if (state == "hidden")
                check.ready = !widget->isVisibleTo(top);
            else if (state == "checked")
                check.ready = button && button->isChecked();
            else if (state == "unchecked")
                check.ready = button && !button->isChecked();
            else if (state == "text")
                check.ready = Text(ControlText(widget)) == a[2].text;
            else if (state == "value") {
                double wanted = 0.0;
                ParseScriptNumber(a[2].text, wanted);
                check.ready = ShownValueIs(ControlText(widget), wanted);
            } else if (state == "selected") {
                auto* list = qobject_cast<QComboBox*>(widget);
                check.ready = list && list->currentIndex() >= 0 && DataMatches(list->currentData(), a[2]);
            }
            check.found += "; control " + std::to_string(IdOf(a[0])) + " is " + DescribeState(top, widget);
            break;
        }
    }
    return check;
}

void ScriptPlayer::Act(const ScriptStep& step) {
    QWidget* top = TopWindow();
    const auto& a = step.args;
    const auto usable = [&](QWidget* widget) {
        if (!widget->isEnabled()) {
            Fail(&step, DescribeTop(top) + "; control " + std::to_string(IdOf(a[0])) +
                            " is disabled: " + DescribeState(top, widget));
            return false;
        }
        if (!widget->isVisibleTo(top)) {
            Fail(&step, DescribeTop(top) + "; control " + std::to_string(IdOf(a[0])) +
                            " is hidden: " + DescribeState(top, widget));
            return false;
        }
        return true;
    };
    switch (step.verb) {
        case ScriptVerb::Set: {
            QWidget* widget = FindControl(top, IdOf(a[0]));
            auto* edit = qobject_cast<QLineEdit*>(widget);
            if (!edit)
                return Fail(&step, DescribeTop(top) + "; control " + a[0].text + " is not an edit field");
            if (!usable(edit)) return;
            if (edit->isReadOnly())
                return Fail(&step, DescribeTop(top) + "; control " + a[0].text + " is read-only");
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
            edit->setText(Q(a[1].text));
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            QApplication::sendEvent(edit, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            QApplication::sendEvent(edit, &release);
            return;
        }
        case ScriptVerb::Click: {
            if (const auto which = MessageButton(a[0].text); which != QMessageBox::NoButton && !a[0].quoted) {
                if (auto* box = qobject_cast<QMessageBox*>(top)) box->button(which)->click();
                return;
            }
            auto* button = qobject_cast<QAbstractButton*>(FindControl(top, IdOf(a[0])));
            if (!button) return Fail(&step, DescribeTop(top) + "; control " + a[0].text + " is not a button");
            if (!usable(button)) return;
            button->setFocus(Qt::MouseFocusReason);
            button->click();
            return;
        }
        case ScriptVerb::Select:
        case ScriptVerb::Unit: {
            auto* list = qobject_cast<QComboBox*>(FindControl(top, IdOf(a[0])));
            if (!list)
                return Fail(&step, DescribeTop(top) + "; control " + a[0].text + " is not a drop-down list");
            if (!usable(list)) return;
            ScriptWord word = a[1];
            if (step.verb == ScriptVerb::Unit) word.quoted = true;  // a unit is chosen by its name
            const int index = FindItem(list, word);
            if (index < 0)
                return Fail(&step, DescribeTop(top) + "; control " + a[0].text + " has no item " +
                                       Quote(a[1].text) + ": " + DescribeState(top, list));
            list->setFocus(Qt::MouseFocusReason);
            list->setCurrentIndex(index);
            emit list->activated(index);
            return;
        }
        case ScriptVerb::Tab: {
            auto* tabs = qobject_cast<QTabWidget*>(FindControl(top, kTabControl));
            double index = 0.0;
            ParseScriptNumber(a[0].text, index);
            if (!tabs || index >= tabs->count())
                return Fail(&step, DescribeTop(top) + "; the tab control has no tab " + a[0].text);
            tabs->setCurrentIndex(static_cast<int>(index));
            return;
        }
        case ScriptVerb::Key: {
            // "ctrl+alt+shift+k" as the portable form writes it: "Ctrl+Alt+Shift+K".
            QStringList parts = Q(a[0].text).split(u'+');
            for (QString& part : parts)
                if (!part.isEmpty()) part = part.left(1).toUpper() + part.mid(1).toLower();
            const QKeySequence sequence =
                QKeySequence::fromString(parts.join(u'+'), QKeySequence::PortableText);
            if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown)
                return Fail(&step, "\"" + a[0].text + "\" is not a key sequence");
            const QKeyCombination combination = sequence[0];
            QWidget* target = top->focusWidget() ? top->focusWidget() : top;
            QString text;
            if (combination.key() >= Qt::Key_A && combination.key() <= Qt::Key_Z &&
                !(combination.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                text = QChar(static_cast<char16_t>(combination.key()));
                if (!(combination.keyboardModifiers() & Qt::ShiftModifier)) text = text.toLower();
            }
            QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers(), text);
            QApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers(), text);
            QApplication::sendEvent(target, &release);
            return;
        }
        case ScriptVerb::Dump: {
            std::ostream& out = m_options.dumpOut ? *m_options.dumpOut : std::cout;
            out << DumpWindow(top) << '\n' << std::flush;
            return;
        }
        case ScriptVerb::Shot: {
            if (m_options.screenshotDir.empty()) return;
            // Layouts and plots catch up with what the last steps changed, as
            // they do before the next paint on the screen: a label given a
            // longer text is not clipped to the size of its old one.
            for (int pass = 0; pass < 4; ++pass)
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            for (QCustomPlot* plot : top->findChildren<QCustomPlot*>())
                plot->replot(QCustomPlot::rpImmediateRefresh);
            const std::filesystem::path path =
                std::filesystem::path(m_options.screenshotDir) / (a[0].text + ".png");
            if (!top->grab().save(QString::fromStdString(path.string()), "PNG"))
                return Fail(&step, "the screenshot could not be saved as " + path.string());
            return;
        }
        case ScriptVerb::Wait: {
            if (a.empty()) {
                Wait(HostClock::Instance().Now() + kLongestWait, true);
            } else {
                double seconds = 0.0;
                ParseScriptNumber(a[0].text, seconds);
                Wait(HostClock::Instance().Now() + seconds, false);
            }
            return;
        }
        case ScriptVerb::Menu:
        case ScriptVerb::Wheel: {
            QWidget* widget = FindControl(top, IdOf(a[0]));
            if (!usable(widget)) return;
            if (step.verb == ScriptVerb::Menu) return OpenMenu(step, widget);
            return TurnWheel(step, widget);
        }
        case ScriptVerb::Turn:
        case ScriptVerb::Analogue:
        case ScriptVerb::Supply:
        case ScriptVerb::Block:
        case ScriptVerb::Fault:
            return ActOnDrive(step);
        case ScriptVerb::Expect:
        case ScriptVerb::Message:
        case ScriptVerb::Assert:
        case ScriptVerb::ExpectHelp:
            return;
    }
}

void ScriptPlayer::ActOnDrive(const ScriptStep& step) {
    vdrive::VirtualDrive* drive = GetVirtualDrive();
    if (!drive) return Fail(&step, "no virtual drive is connected to the host");
    const DriveStepArguments arguments = ReadDriveStep(step);
    switch (step.verb) {
        case ScriptVerb::Turn:
            if (drive->GetPlant().shaftBlocked)
                return Fail(&step, "the motor shaft is blocked (block on): it cannot be turned by hand");
            drive->TurnShaft(arguments.load, arguments.value, arguments.seconds);
            // The hand takes its time; the dialogs' timers go on meanwhile.
            Wait(HostClock::Instance().Now() + arguments.seconds, false);
            return;
        case ScriptVerb::Analogue:
            drive->SetAnalogueInput(arguments.value);
            return;
        case ScriptVerb::Supply:
            drive->SetSupply(arguments.value);
            return;
        case ScriptVerb::Block:
            drive->SetBlocked(arguments.on);
            return;
        case ScriptVerb::Fault: {
            vdrive::Fault fault{};
            vdrive::FaultFromName(arguments.fault, fault);
            drive->SetFault(fault, arguments.on);
            return;
        }
        default:
            return;
    }
}

namespace {

double WallSeconds() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return static_cast<double>(timer.nsecsElapsed()) * 1e-9;
}

// The widget of a control that offers a context menu (the control itself
// or, for a graph drawn in a placeholder, the graph inside it).
QWidget* MenuTarget(QWidget* control) {
    if (control->contextMenuPolicy() == Qt::CustomContextMenu) return control;
    for (QWidget* child : control->findChildren<QWidget*>())
        if (child->isVisible() && child->contextMenuPolicy() == Qt::CustomContextMenu) return child;
    return control;
}

// A menu's entries as the user reads them.
std::string MenuEntries(const QMenu& menu) {
    std::string entries;
    for (const QAction* action : menu.actions())
        if (!action->isSeparator())
            entries += (entries.empty() ? "" : ", ") + Quote(Text(ShownText(action->text())));
    return entries;
}

}  // namespace

void ScriptPlayer::OpenMenu(const ScriptStep& step, QWidget* control) {
    // Posted, as a right click would be: the menu runs its own event loop,
    // in which the player chooses the entry.
    QWidget* target = MenuTarget(control);
    const QPoint centre = target->rect().center();
    QCoreApplication::postEvent(
        target, new QContextMenuEvent(QContextMenuEvent::Mouse, centre, target->mapToGlobal(centre)));
    m_menuStep = &step;
    m_menuDeadline = WallSeconds() + 2.0;
    Post();
}

void ScriptPlayer::ChooseFromMenu() {
    const ScriptStep& step = *m_menuStep;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        if (WallSeconds() < m_menuDeadline) return;
        m_menuStep = nullptr;
        return Fail(&step, DescribeTop(TopWindow()) + "; no menu opened over control " + step.args[0].text);
    }
    m_menuStep = nullptr;
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && Text(ShownText(action->text())) == step.args[1].text) chosen = action;
    if (!chosen || !chosen->isEnabled()) {
        const std::string entries = MenuEntries(*menu);
        menu->close();
        return Fail(&step, "the menu over control " + step.args[0].text +
                               (chosen ? " has the entry disabled" : " has no such entry") + "; it offers " +
                               entries);
    }
    // Chosen as with the keyboard: the menu closes, then the entry acts.
    menu->setActiveAction(chosen);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(menu, &press);
}

void ScriptPlayer::TurnWheel(const ScriptStep& step, QWidget* control) {
    const std::string& spot = step.args[1].text;
    double notches = 0.0;
    ParseScriptNumber(step.args[2].text, notches);
    std::vector<QWidget*> candidates{control};
    for (QWidget* child : control->findChildren<QWidget*>()) candidates.push_back(child);
    std::string shown;
    for (QWidget* widget : candidates) {
        const QVariantMap spots = widget->property("kxSpots").toMap();
        for (auto it = spots.cbegin(); it != spots.cend(); ++it) {
            if (Text(it.key()) != spot) {
                shown += (shown.empty() ? "" : ", ") + Quote(Text(it.key()));
                continue;
            }
            const QPointF at = it.value().toRect().center();
            QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(),
                              QPoint(0, static_cast<int>(notches) * QWheelEvent::DefaultDeltasPerStep),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(widget, &wheel);
            return;
        }
    }
    Fail(&step, DescribeTop(TopWindow()) + "; control " + step.args[0].text + " shows no " + Quote(spot) +
                    (shown.empty() ? " (it has no spots for the wheel)" : "; it shows " + shown));
}

void ScriptPlayer::Wait(double until, bool untilChange) {
    HostClock& clock = HostClock::Instance();
    QWidget* start = TopWindow();
    struct Waiting {
        ScriptPlayer& player;
        bool outer;
        Waiting(ScriptPlayer& p, QWidget* top) : player(p), outer(!p.m_waiting) {
            player.m_waiting = true;
            player.m_waitTop = top;
        }
        ~Waiting() {
            if (!outer) return;
            player.m_waiting = false;
            if (std::exchange(player.m_deferred, false)) player.Post();
        }
    } waiting(*this, start);
    const auto changed = [start] { return TopWindow() != start; };
    if (clock.GetMode() == HostClock::Mode::Virtual) {
        if (!untilChange) {
            clock.AdvanceTo(until);
            return;
        }
        // Until the window on top changes or nothing is running any more;
        // what the last step set off (a queued click) starts first.
        QCoreApplication::processEvents();
        while (clock.Now() < until && !changed() && IsHostBusy()) {
            const double next = std::min(clock.NextDue(), until);
            clock.AdvanceTo(next, [&] { return changed() || !IsHostBusy(); });
            QCoreApplication::processEvents();
        }
        return;
    }
    while (clock.Now() < until && !(untilChange && (changed() || !IsHostBusy()))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void ScriptPlayer::Fail(const ScriptStep* step, const std::string& what) {
    if (m_failed) return;
    m_failed = true;
    m_menuStep = nullptr;
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) menu->close();
    if (step) {
        m_failure = "line " + std::to_string(step->line) + ": " + step->source + ": did not hold: " + what;
        m_index = std::max(m_index, static_cast<std::size_t>(&*step - m_steps.data()) + 1);
    } else {
        m_failure = what;
    }
    if (!m_options.screenshotDir.empty()) {
        if (QWidget* top = TopWindow()) {
            const std::string name = step ? "failed-line-" + std::to_string(step->line) : "failed";
            top->grab().save(QString::fromStdString(
                                 (std::filesystem::path(m_options.screenshotDir) / (name + ".png")).string()),
                             "PNG");
        }
    }
    Post();
}

void ScriptPlayer::CloseWindows() {
    QWidget* top = TopWindow();
    if (!top) return;
    Post();
    // Each window is asked to close as the user would (Esc); one that keeps
    // asking questions is closed outright after a while.
    if (auto* dialog = qobject_cast<QDialog*>(top)) {
        if (++m_closing > 50)
            dialog->done(0);
        else
            dialog->reject();
    } else {
        top->close();
    }
}

bool ScriptPlayer::Finish() {
    m_finishing = true;
    if (m_menuStep)
        Fail(m_menuStep, "the session ended before a menu opened over control " + m_menuStep->args[0].text);
    // Steps left after the session ended run with no window: most of them
    // cannot hold. Each is looked at until it holds or its time runs out.
    while (!m_failed && m_index < m_steps.size()) {
        const std::size_t before = m_index;
        RunStep(m_steps[m_index]);
        if (m_index == before && !m_failed && HostClock::Instance().GetMode() == HostClock::Mode::Real)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!m_failed && TopWindow()) {
        m_failed = true;
        m_failure = "the script ended while a window is still open: " + DescribeTop(TopWindow());
    }
    return !m_failed;
}

std::string ScriptPlayer::DumpWindow(QWidget* window) {
    nlohmann::ordered_json dump;
    if (!window) return "{}";
    dump["title"] = Text(window->windowTitle());
    const QVariant id = window->property("templateId");
    dump["template"] = id.isValid() ? nlohmann::ordered_json(id.toUInt()) : nlohmann::ordered_json();
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        dump["message"] = Text(box->text());
        nlohmann::ordered_json buttons = nlohmann::ordered_json::array();
        for (QAbstractButton* button : box->buttons()) buttons.push_back(Text(ShownText(button->text())));
        dump["buttons"] = buttons;
        return dump.dump();
    }
    std::vector<std::pair<unsigned, QWidget*>> controls;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const QVariant ctrlId = widget->property("ctrlId");
        if (ctrlId.isValid() && widget->window() == window) controls.emplace_back(ctrlId.toUInt(), widget);
    }
    std::sort(controls.begin(), controls.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [ctrlId, widget] : controls) list.push_back(DescribeControl(window, widget));
    dump["controls"] = list;
    return dump.dump();
}

}  // namespace kx
