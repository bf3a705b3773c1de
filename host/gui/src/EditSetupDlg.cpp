#include "kx/gui/EditSetupDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextEdit>
#include <QTimer>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>

#include "CANopenSettingsDlg.h"
#include "DialogWindow.h"
#include "MotorEditor.h"
#include "kx/Setup.h"
#include "kx/Units.h"
#include "kx/gui/Clock.h"
#include "kx/gui/Resources.h"
#include "kx/gui/ValueText.h"

namespace kx {

// ---- the dialog window

DialogWindow::DialogWindow(CKX_EditSetupDlg& owner, QWidget* parent) : QDialog(parent), m_owner(owner) {
    qApp->installEventFilter(this);
}

DialogWindow::~DialogWindow() {
    if (qApp) qApp->removeEventFilter(this);
}

void DialogWindow::reject() {
    m_owner.Invoke([this] { m_owner.OnCancel(); });
}

void DialogWindow::accept() {
    m_owner.Invoke([this] { m_owner.OnOK(); });
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    // Enter commits the field it was typed in and never closes the dialog;
    // on a button it presses that button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget())) button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    // Centred on the parent window, or on the screen without one.
    const QRect area = parentWidget() ? parentWidget()->window()->frameGeometry()
                                      : (screen() ? screen()->availableGeometry() : QRect());
    if (area.isValid()) move(area.center() - rect().center());
    if (m_owner.m_motorEditor) {
        // What could not be read of the motor databases is said once the
        // editor is on the screen.
        QTimer::singleShot(0, this, [this] {
            if (m_owner.m_motorEditor) m_owner.Invoke([this] { m_owner.m_motorEditor->ShowReports(); });
        });
    }
    m_owner.Invoke([this] { m_owner.OnShowWindow(); });
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget)) return false;
    // Each key press is seen once, by the dialog that holds the widget.
    if (widget->window() != this) return false;
    BOOL consumed = FALSE;
    m_owner.Invoke([&] { consumed = m_owner.PreTranslateKeyDown(*static_cast<QKeyEvent*>(event)); });
    return consumed != FALSE;
}

QString ShownText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

}  // namespace kx

// ---- bindings

struct CKX_EditSetupDlg::Binding {
    enum Kind { Value, Check, Radio, List, Slider } kind = Value;
    std::string name;
    CKX_Parameter* user = nullptr;  // a dialog-owned parameter
    unsigned edit = 0, unit = 0;
    unsigned first = 0, last = 0;  // radio run, or the list
    std::string itemUnit;          // a list's item data are in this unit ("": the base unit)
    unsigned slider = 0, low = 0, high = 0;
    double min = 0.0, max = 0.0;  // slider range in base units
};

namespace {

// The host parameter behind the CAN bus group's baud rate list (kbit/s) and
// the rates it offers.
constexpr const char* kCANBaudRate = "CANbus_baudrate";
constexpr struct {
    int kbps;
    const char* text;
} kBaudRates[] = {{125, "125 kbps"}, {250, "250 kbps"}, {500, "500 kbps"}, {1000, "1 Mbps"}};
constexpr unsigned kCANGroup = 10020, kCANBaudList = 10021, kCANopenButton = 10022, kCANBaudLabel = 10023;
constexpr unsigned kGuidePrevious = 10005, kGuideNext = 10006, kGuideText = 10007;
constexpr int kSliderSteps = 1000;

const char* ClassOf(const QWidget* widget) { return widget->metaObject()->className(); }

// A list item's data as a base value (toBase) or a base value as item data:
// the data are in `unit` of the parameter's quantity, or in its base unit.
double ItemValue(const CKX_Parameter& p, const std::string& unit, double value, bool toBase) {
    if (unit.empty() || !p.GetUnitType()) return value;
    const kx::UnitDef* def = p.GetUnitType()->Find(unit);
    if (!def) return value;
    return toBase ? value * def->factor + def->offset : (value - def->offset) / def->factor;
}

}  // namespace

CKX_EditSetupDlg::CKX_EditSetupDlg(CKX_Setup& setup, unsigned templateId, int, const char** steps,
                                   CWnd* parent)
    : m_setup(setup), m_templateId(templateId), m_parent(parent) {
    for (const char** step = steps; step && *step; ++step) m_steps.emplace_back(*step);
    BuildWindow();
}

CKX_EditSetupDlg::~CKX_EditSetupDlg() {
    kx::HostClock::Instance().KillTimers(this);
    m_motorEditor.reset();
    m_controls.clear();
    m_window.reset();
}

void CKX_EditSetupDlg::BuildWindow() {
    const kx::TemplateBuilder build = kx::ResourceChain::Instance().FindTemplate(m_templateId);
    if (!build) {
        AuditProblem("template " + std::to_string(m_templateId) + " is not registered");
        return;
    }
    m_window = std::make_unique<kx::DialogWindow>(*this, m_parent);
    build(*m_window);
    m_window->setModal(true);
    const QVariant declared = m_window->property("templateId");
    if (declared.isValid() && declared.toUInt() != m_templateId)
        AuditProblem("template " + std::to_string(m_templateId) + " declares template id " +
                     std::to_string(declared.toUInt()));
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
        const QVariant id = widget->property("ctrlId");
        if (!id.isValid()) continue;
        const unsigned ctrlId = id.toUInt();
        if (!m_controls.emplace(ctrlId, widget).second)
            AuditProblem("control id " + std::to_string(ctrlId) + " is used twice");
        // Hiding a control keeps its place, so that the page does not jump
        // while rules show and hide controls; controls that take turns in one
        // place (a template marks them "collapsesWhenHidden") give it up.
        if (!widget->property("collapsesWhenHidden").toBool()) {
            QSizePolicy policy = widget->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            widget->setSizePolicy(policy);
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setAutoDefault(false);
            button->setDefault(false);
        }
    }
    // The CAN bus group works only once the dialog activates it.
    for (unsigned id : {kCANGroup, kCANBaudList, kCANopenButton, kCANBaudLabel})
        if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(false);
}

QDialog* CKX_EditSetupDlg::GetWindow() const { return m_window.get(); }

QWidget* CKX_EditSetupDlg::GetDlgItem(unsigned id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CKX_EditSetupDlg::AuditProblem(const std::string& problem) {
    std::ostringstream text;
    text << "template " << m_templateId << ": " << problem;
    m_audit.push_back(text.str());
}

QWidget* CKX_EditSetupDlg::Control(unsigned id, const char* role,
                                   std::initializer_list<const char*> classes) {
    QWidget* widget = GetDlgItem(id);
    if (!widget) {
        AuditProblem(std::string(role) + " " + std::to_string(id) + " is not in the template");
        return nullptr;
    }
    for (const char* cls : classes)
        if (widget->inherits(cls)) return widget;
    AuditProblem(std::string(role) + " " + std::to_string(id) + " is a " + ClassOf(widget));
    return nullptr;
}

// ---- binding calls

CKX_EditSetupDlg::Binding& CKX_EditSetupDlg::Bind(int kind, const std::string& name, CKX_Parameter* user) {
    if (!user) {
        const kx::QuietLookup quiet;
        if (!m_setup.FindParameter(name))
            AuditProblem("bound parameter \"" + name + "\" is not in the setup");
    }
    auto binding = std::make_unique<Binding>();
    binding->kind = static_cast<Binding::Kind>(kind);
    binding->name = name;
    binding->user = user;
    m_bindings.push_back(std::move(binding));
    return *m_bindings.back();
}

void CKX_EditSetupDlg::BindValue(const std::string& name, CKX_Parameter* user, unsigned editId,
                                 unsigned unitId) {
    Binding& b = Bind(Binding::Value, name, user);
    b.edit = editId;
    b.unit = unitId;
    Control(editId, "value edit", {"QLineEdit"});
    if (unitId) Control(unitId, "unit list", {"QComboBox"});
}

void CKX_EditSetupDlg::AddParameterControls(const char* name, unsigned editId, unsigned unitId) {
    BindValue(name, nullptr, editId, unitId);
}

void CKX_EditSetupDlg::AddUserParameterControls(CKX_Parameter* parameter, unsigned editId, unsigned unitId) {
    if (parameter) BindValue(parameter->GetName(), parameter, editId, unitId);
}

void CKX_EditSetupDlg::AddCheckParameterControls(const char* name, unsigned checkId) {
    Bind(Binding::Check, name).first = checkId;
    Control(checkId, "check box", {"QCheckBox"});
}

void CKX_EditSetupDlg::AddSwitchParameterControls(const char* name, unsigned firstId, unsigned lastId) {
    Binding& b = Bind(Binding::Radio, name);
    b.first = firstId;
    b.last = lastId;
    if (lastId < firstId)
        AuditProblem("radio run " + std::to_string(firstId) + " .. " + std::to_string(lastId));
    for (unsigned id = firstId; id <= lastId; ++id) Control(id, "radio button", {"QRadioButton"});
}

void CKX_EditSetupDlg::AddSwitchParameterControls(const char* name, unsigned listId) {
    Bind(Binding::List, name).first = listId;
    Control(listId, "drop-down list", {"QComboBox"});
}

void CKX_EditSetupDlg::AddSliderParameterControls(const char* name, unsigned sliderId, unsigned editId,
                                                  unsigned unitId, unsigned lowSpinId, unsigned highSpinId,
                                                  double min, double max) {
    BindValue(name, nullptr, editId, unitId);
    Binding& b = *m_bindings.back();
    b.kind = Binding::Slider;
    b.slider = sliderId;
    b.low = lowSpinId;
    b.high = highSpinId;
    b.min = std::min(min, max);
    b.max = std::max(min, max);
    Control(sliderId, "slider", {"QAbstractSlider"});
    if (lowSpinId) Control(lowSpinId, "spin button", {"QAbstractButton"});
    if (highSpinId) Control(highSpinId, "spin button", {"QAbstractButton"});
}

CKX_Parameter* CKX_EditSetupDlg::BoundParameter(const Binding& binding) const {
    if (binding.user) return binding.user;
    const kx::QuietLookup quiet;
    return m_setup.FindParameter(binding.name);
}

// ---- loading controls

void CKX_EditSetupDlg::LoadBinding(const Binding& b) {
    CKX_Parameter* p = BoundParameter(b);
    if (!p) return;
    const double value = p->GetValueInBaseUnit();
    switch (b.kind) {
        case Binding::Value:
        case Binding::Slider: {
            if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(b.edit))) {
                const QSignalBlocker block(edit);
                edit->setText(kx::FormatDisplayValue(*p));
                edit->setCursorPosition(0);
            }
            if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(b.unit))) {
                const QSignalBlocker block(list);
                list->clear();
                // The units of a quantity are offered; the dimensionless names
                // ("counts", "%", ...) are no conversions of each other, so a
                // dimensionless parameter keeps its own.
                const kx::UnitType* type = p->GetUnitType();
                if (type && !type->BaseUnit().empty()) {
                    for (const kx::UnitDef& unit : type->units)
                        list->addItem(QString::fromStdString(kx::NormalizeUnitName(unit.name)));
                } else {
                    list->addItem(QString::fromStdString(kx::NormalizeUnitName(p->GetUnitName())));
                }
                list->setCurrentIndex(
                    list->findText(QString::fromStdString(kx::NormalizeUnitName(p->GetUnitName()))));
            }
            if (auto* slider = qobject_cast<QAbstractSlider*>(GetDlgItem(b.slider))) {
                const QSignalBlocker block(slider);
                slider->setRange(0, kSliderSteps);
                const double span = b.max - b.min;
                const double at = span > 0.0 ? (value - b.min) / span : 0.0;
                slider->setValue(static_cast<int>(std::lround(std::clamp(at, 0.0, 1.0) * kSliderSteps)));
            }
            break;
        }
        case Binding::Check:
            if (auto* check = qobject_cast<QAbstractButton*>(GetDlgItem(b.first))) {
                const QSignalBlocker block(check);
                check->setChecked(std::trunc(value) != 0.0);
            }
            break;
        case Binding::Radio: {
            const double k = std::trunc(value);
            for (unsigned id = b.first; id <= b.last; ++id) {
                auto* radio = qobject_cast<QAbstractButton*>(GetDlgItem(id));
                if (!radio) continue;
                const QSignalBlocker block(radio);
                // A value outside the run leaves every button clear.
                const bool exclusive = radio->autoExclusive();
                radio->setAutoExclusive(false);
                radio->setChecked(k == static_cast<double>(id - b.first));
                radio->setAutoExclusive(exclusive);
            }
            break;
        }
        case Binding::List:
            if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(b.first))) {
                const QSignalBlocker block(list);
                int selected = -1;
                const double shown = std::trunc(ItemValue(*p, b.itemUnit, value, false));
                for (int i = 0; i < list->count(); ++i) {
                    bool ok = false;
                    const double data = list->itemData(i).toDouble(&ok);
                    if (ok && data == shown) {
                        selected = i;
                        break;
                    }
                }
                list->setCurrentIndex(selected);
            }
            break;
    }
}

void CKX_EditSetupDlg::LoadAll() {
    for (const auto& binding : m_bindings) LoadBinding(*binding);
}

void CKX_EditSetupDlg::RefreshParameterControls(const char* name) {
    for (const auto& binding : m_bindings)
        if (kx::NameEqual{}(binding->name, name)) LoadBinding(*binding);
}

void CKX_EditSetupDlg::RefreshAllParameters(int) { LoadAll(); }

BOOL CKX_EditSetupDlg::UpdateData(BOOL save) {
    if (!m_window) return FALSE;
    CDataExchange dx(save);
    if (save) {
        DoDataExchange(&dx);
        return dx.m_bFailed ? FALSE : TRUE;
    }
    // Loading never looks like a user's change: every control's signals are
    // blocked while the setup is put into them.
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QWidget* widget : m_window->findChildren<QWidget*>())
        blockers.push_back(std::make_unique<QSignalBlocker>(widget));
    DoDataExchange(&dx);
    return TRUE;
}

void CKX_EditSetupDlg::DoDataExchange(CDataExchange* pDX) {
    if (!pDX->m_bSaveAndValidate) {
        LoadAll();
        return;
    }
    for (const auto& binding : m_bindings) {
        if (binding->kind != Binding::Value && binding->kind != Binding::Slider) continue;
        if (!CommitEdit(*binding, true)) {
            pDX->m_bFailed = TRUE;
            return;
        }
    }
}

// ---- writing what the user did

bool CKX_EditSetupDlg::CommitEdit(const Binding& b, bool quietIfUnchanged) {
    auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(b.edit));
    CKX_Parameter* p = BoundParameter(b);
    if (!edit || !p || edit->isReadOnly() || m_committing) return true;
    const QString typed = edit->text().trimmed();
    if (quietIfUnchanged && typed == kx::FormatDisplayValue(*p)) return true;
    const kx::ReadResult read = kx::ReadDisplayValue(*p, typed);
    if (read.status != kx::ReadStatus::Ok) {
        // The field shows the stored value again before the message, so that
        // leaving the field for the message box commits nothing twice.
        m_committing = true;
        LoadBinding(b);
        MessageBox(kx::InvalidValueMessage(*p, typed, read.status).c_str(), nullptr, MB_OK | MB_ICONWARNING);
        m_committing = false;
        return false;
    }
    // The value already stored, typed in another form: shown again, no change.
    if (read.value == p->GetValueInDisplayUnit()) {
        LoadBinding(b);
        return true;
    }
    WriteValue(b, read.value);
    return true;
}

void CKX_EditSetupDlg::WriteValue(const Binding& b, double displayValue) {
    CKX_Parameter* p = BoundParameter(b);
    if (!p) return;
    p->SetValueInDisplayUnit(displayValue);
    Notify(b.name);
}

void CKX_EditSetupDlg::WriteBaseValue(const Binding& b, double baseValue) {
    CKX_Parameter* p = BoundParameter(b);
    if (!p) return;
    p->SetValueInBaseUnit(baseValue);
    Notify(b.name);
}

void CKX_EditSetupDlg::ChangeUnit(const Binding& b, QComboBox* list) {
    CKX_Parameter* p = BoundParameter(b);
    if (!p || list->currentIndex() < 0) return;
    p->ChangeUnit(list->currentText().toStdString().c_str());
    OnChangedParameterUnit(b.name.c_str());
    RefreshParameterControls(b.name.c_str());
}

void CKX_EditSetupDlg::Notify(const std::string& name) {
    OnChangedParameterValue(name.c_str());
    OnRefreshParameterValue(name.c_str());
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QWidget* widget : m_window->findChildren<QWidget*>())
        blockers.push_back(std::make_unique<QSignalBlocker>(widget));
    LoadAll();
}

void CKX_EditSetupDlg::Invoke(const std::function<void()>& call) {
    try {
        call();
    } catch (...) {
        // The dialog closes and DoModal throws on, so that the caller's
        // stack unwinds through the dialog objects.
        if (!m_pending) m_pending = std::current_exception();
        if (m_window) m_window->done(IDCANCEL);
    }
}

void CKX_EditSetupDlg::WireBindings() {
    for (const auto& owned : m_bindings) {
        const Binding* b = owned.get();
        switch (b->kind) {
            case Binding::Value:
            case Binding::Slider:
                if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(b->edit)))
                    QObject::connect(edit, &QLineEdit::editingFinished, m_window.get(),
                                     [this, b] { Invoke([this, b] { CommitEdit(*b, true); }); });
                if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(b->unit)))
                    QObject::connect(list, &QComboBox::activated, m_window.get(),
                                     [this, b, list] { Invoke([this, b, list] { ChangeUnit(*b, list); }); });
                if (b->kind != Binding::Slider) break;
                if (auto* slider = qobject_cast<QAbstractSlider*>(GetDlgItem(b->slider)))
                    QObject::connect(
                        slider, &QAbstractSlider::valueChanged, m_window.get(), [this, b](int position) {
                            Invoke([this, b, position] {
                                WriteBaseValue(*b, b->min + (b->max - b->min) * position / kSliderSteps);
                            });
                        });
                for (const auto& [id, direction] : {std::pair{b->low, -1}, std::pair{b->high, +1}}) {
                    auto* spin = qobject_cast<QAbstractButton*>(GetDlgItem(id));
                    if (!spin) continue;
                    QObject::connect(
                        spin, &QAbstractButton::clicked, m_window.get(), [this, b, d = direction] {
                            Invoke([this, b, d] {
                                CKX_Parameter* p = BoundParameter(*b);
                                if (!p) return;
                                const double step = (b->max - b->min) / 100.0;
                                WriteBaseValue(
                                    *b, std::clamp(p->GetValueInBaseUnit() + d * step, b->min, b->max));
                            });
                        });
                }
                break;
            case Binding::Check:
                if (auto* check = qobject_cast<QAbstractButton*>(GetDlgItem(b->first)))
                    QObject::connect(
                        check, &QAbstractButton::clicked, m_window.get(), [this, b](bool checked) {
                            Invoke([this, b, checked] { WriteBaseValue(*b, checked ? 1.0 : 0.0); });
                        });
                break;
            case Binding::Radio:
                for (unsigned id = b->first; id <= b->last; ++id) {
                    auto* radio = qobject_cast<QAbstractButton*>(GetDlgItem(id));
                    if (!radio) continue;
                    QObject::connect(
                        radio, &QAbstractButton::clicked, m_window.get(), [this, b, id](bool checked) {
                            if (!checked) return;
                            Invoke([this, b, id] { WriteBaseValue(*b, static_cast<double>(id - b->first)); });
                        });
                }
                break;
            case Binding::List:
                if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(b->first)))
                    QObject::connect(list, &QComboBox::activated, m_window.get(), [this, b, list](int index) {
                        bool ok = false;
                        const double data = list->itemData(index).toDouble(&ok);
                        CKX_Parameter* p = BoundParameter(*b);
                        if (!ok || !p) return;
                        const double value = ItemValue(*p, b->itemUnit, data, true);
                        Invoke([this, b, value] { WriteBaseValue(*b, value); });
                    });
                break;
        }
    }
}

// ---- the message map

const kx::MessageMap* CKX_EditSetupDlg::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(IDOK, CKX_EditSetupDlg::OnOK),
        KX_ON_CLICKED(IDCANCEL, CKX_EditSetupDlg::OnCancel),
    };
    static const kx::MessageMap map{nullptr, entries};
    return &map;
}

void CKX_EditSetupDlg::WireMessageMap() {
    std::set<std::pair<unsigned, kx::Event>> wired;
    for (const kx::MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const kx::MessageMapEntry& entry : map->entries) {
            // The first entry for a control and event wins: a dialog's own
            // entry replaces its base's.
            if (!wired.insert({entry.id, entry.event}).second) continue;
            // A dialog without Cancel (or OK) simply has no such button.
            if (!map->base && !GetDlgItem(entry.id)) continue;
            const kx::Handler handler = entry.handler;
            auto call = [this, handler] { Invoke([this, handler] { (this->*handler)(); }); };
            switch (entry.event) {
                case kx::Event::Clicked:
                    if (auto* button = qobject_cast<QAbstractButton*>(
                            Control(entry.id, "button of the message map", {"QAbstractButton"})))
                        QObject::connect(button, &QAbstractButton::clicked, m_window.get(), call);
                    break;
                case kx::Event::SelChange:
                    if (auto* list = qobject_cast<QComboBox*>(
                            Control(entry.id, "list of the message map", {"QComboBox"})))
                        QObject::connect(list, &QComboBox::activated, m_window.get(), call);
                    break;
                case kx::Event::EditDone:
                    if (auto* edit = qobject_cast<QLineEdit*>(
                            Control(entry.id, "edit of the message map", {"QLineEdit"})))
                        QObject::connect(edit, &QLineEdit::editingFinished, m_window.get(), call);
                    break;
                case kx::Event::Message:
                    break;  // sent, not wired
            }
        }
    }
}

LRESULT CKX_EditSetupDlg::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const kx::MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const kx::MessageMapEntry& entry : map->entries) {
            if (entry.event != kx::Event::Message || entry.id != message || !entry.onMessage) continue;
            LRESULT result = 0;
            const kx::MessageHandler handler = entry.onMessage;
            Invoke([&] { result = (this->*handler)(wParam, lParam); });
            return result;
        }
    }
    return 0;
}

// ---- running the dialog

int CKX_EditSetupDlg::DoModal() {
    if (!m_window) return IDCANCEL;
    if (!m_wired) {
        m_wired = true;
        WireBindings();
        WireMessageMap();
        if (!m_steps.empty()) {
            auto step = [this](int delta) { return [this, delta] { ShowGuideline(m_step + delta); }; };
            if (auto* previous = qobject_cast<QAbstractButton*>(GetDlgItem(kGuidePrevious)))
                QObject::connect(previous, &QAbstractButton::clicked, m_window.get(), step(-1));
            if (auto* next = qobject_cast<QAbstractButton*>(GetDlgItem(kGuideNext)))
                QObject::connect(next, &QAbstractButton::clicked, m_window.get(), step(+1));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(kCANopenButton)))
            QObject::connect(button, &QAbstractButton::clicked, m_window.get(),
                             [this] { Invoke([this] { OpenCANopenSettings(); }); });
    }
    m_pending = nullptr;
    BOOL initialised = TRUE;
    Invoke([&] { initialised = OnInitDialog(); });
    (void)initialised;
    int result = IDCANCEL;
    if (!m_pending) result = m_window->exec();
    kx::HostClock::Instance().KillTimers(this);
    if (m_pending) {
        std::exception_ptr pending = m_pending;
        m_pending = nullptr;
        std::rethrow_exception(pending);
    }
    return result == IDOK ? IDOK : IDCANCEL;
}

BOOL CKX_EditSetupDlg::OnInitDialog() {
    UpdateData(FALSE);
    ShowGuideline(0);
    return TRUE;
}

void CKX_EditSetupDlg::ShowGuideline(int step) {
    const int count = static_cast<int>(m_steps.size());
    auto* previous = GetDlgItem(kGuidePrevious);
    auto* next = GetDlgItem(kGuideNext);
    QWidget* text = GetDlgItem(kGuideText);
    if (count == 0) {
        for (QWidget* w : {previous, next, text})
            if (w) w->setEnabled(false);
        return;
    }
    m_step = std::clamp(step, 0, count - 1);
    const QString shown = QString::fromStdString(m_steps[static_cast<std::size_t>(m_step)]);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(text))
        plain->setPlainText(shown);
    else if (auto* rich = qobject_cast<QTextEdit*>(text))
        rich->setPlainText(shown);
    else if (auto* label = qobject_cast<QLabel*>(text))
        label->setText(shown);
    if (previous) previous->setEnabled(m_step > 0);
    if (next) next->setEnabled(m_step < count - 1);
}

void CKX_EditSetupDlg::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CKX_EditSetupDlg::OnCancel() { EndDialog(IDCANCEL); }

void CKX_EditSetupDlg::OnShowWindow() {}

void CKX_EditSetupDlg::OnTimer(UINT) {}

BOOL CKX_EditSetupDlg::PreTranslateKeyDown(const QKeyEvent&) { return FALSE; }

void CKX_EditSetupDlg::OnChangedParameterValue(const char*) {}

void CKX_EditSetupDlg::OnRefreshParameterValue(const char*) {}

void CKX_EditSetupDlg::OnChangedParameterUnit(const char*) {}

void CKX_EditSetupDlg::EndDialog(int result) {
    if (m_window) m_window->done(result);
}

// ---- controls

void CKX_EditSetupDlg::EnableChild(unsigned id, int enable, int) {
    if (QWidget* widget = GetDlgItem(id))
        widget->setEnabled(enable != 0);
    else
        AuditProblem("control " + std::to_string(id) + " of an enable rule is not in the template");
}

void CKX_EditSetupDlg::EnableChildren(const unsigned* ids, int enable, int flag) {
    for (; ids && *ids; ++ids) EnableChild(*ids, enable, flag);
}

void CKX_EditSetupDlg::ShowChild(unsigned id, int show) {
    if (QWidget* widget = GetDlgItem(id))
        widget->setVisible(show != 0);
    else
        AuditProblem("control " + std::to_string(id) + " of a show rule is not in the template");
}

void CKX_EditSetupDlg::ShowChildren(const unsigned* ids, int show) {
    for (; ids && *ids; ++ids) ShowChild(*ids, show);
}

void CKX_EditSetupDlg::SetChildText(unsigned id, const char* text) {
    QWidget* widget = GetDlgItem(id);
    const QString caption = QString::fromUtf8(text ? text : "");
    // A caption with a buddy shows "&&" as "&" by itself; a plain one shows
    // its text as it is.
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(label->buddy() ? caption : kx::ShownText(caption));
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(caption);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(caption);
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(caption);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        plain->setPlainText(caption);
    else if (widget)
        widget->setWindowTitle(caption);
    else
        AuditProblem("control " + std::to_string(id) + " of a caption is not in the template");
}

void CKX_EditSetupDlg::SetButtonImage(unsigned id, const char* imageName) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id, "picture button", {"QAbstractButton"}));
    const QIcon icon = kx::ResourceChain::Instance().FindImage(imageName ? imageName : "");
    if (icon.isNull()) {
        AuditProblem(std::string("image \"") + (imageName ? imageName : "") + "\" is not registered");
        return;
    }
    if (!button) return;
    button->setIcon(icon);
    const int side = button->fontMetrics().height() * 3;
    button->setIconSize(QSize(side, side));
}

void CKX_EditSetupDlg::SetChildBitmap(unsigned id, unsigned bitmapId) {
    auto* picture = qobject_cast<QLabel*>(Control(id, "picture", {"QLabel"}));
    const QIcon bitmap = kx::ResourceChain::Instance().FindBitmap(bitmapId);
    if (bitmap.isNull()) {
        AuditProblem("bitmap " + std::to_string(bitmapId) + " is not registered");
        return;
    }
    if (!picture) return;
    QSize size = picture->minimumSize();
    if (size.isEmpty()) size = bitmap.actualSize(QSize(4096, 4096));
    picture->setPixmap(bitmap.pixmap(size, picture->devicePixelRatioF()));
}

void CKX_EditSetupDlg::EnableCANSettings() {
    const kx::QuietLookup quiet;
    if (!m_setup.FindParameter(kCANBaudRate)) return;  // this drive has no CAN bus: the group stays off
    if (auto* list = qobject_cast<QComboBox*>(Control(kCANBaudList, "baud rate list", {"QComboBox"}))) {
        list->clear();
        for (const auto& rate : kBaudRates) list->addItem(QString::fromUtf8(rate.text), rate.kbps);
        AddSwitchParameterControls(kCANBaudRate, kCANBaudList);
    }
    for (unsigned id : {kCANGroup, kCANBaudList, kCANBaudLabel})
        if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(true);
    if (QWidget* button = GetDlgItem(kCANopenButton))
        button->setEnabled(kx::CANopenSettingsAvailable(m_setup));
}

void CKX_EditSetupDlg::InitializeMotorEditor() {
    if (!m_window) return;
    kx::MotorEditorPanel::Controls controls;
    controls.databases = qobject_cast<QComboBox*>(Control(kx::kDatabaseList, "database list", {"QComboBox"}));
    controls.motors = qobject_cast<QComboBox*>(Control(kx::kMotorList, "motor list", {"QComboBox"}));
    controls.save =
        qobject_cast<QAbstractButton*>(Control(kx::kSaveMotorButton, "save button", {"QAbstractButton"}));
    controls.remove =
        qobject_cast<QAbstractButton*>(Control(kx::kDeleteMotorButton, "delete button", {"QAbstractButton"}));
    m_motorEditor = std::make_unique<kx::MotorEditorPanel>(
        m_setup, m_window.get(), controls,
        [this](const std::string& name) { Invoke([this, &name] { Notify(name); }); },
        [this](const std::string& text, unsigned type) { return MessageBox(text.c_str(), nullptr, type); });
}

void CKX_EditSetupDlg::SetSwitchItemUnit(unsigned listId, const char* unit) {
    for (const auto& binding : m_bindings)
        if (binding->kind == Binding::List && binding->first == listId) {
            CKX_Parameter* p = BoundParameter(*binding);
            if (!p || !p->GetUnitType() || !p->GetUnitType()->Find(unit ? unit : "")) {
                AuditProblem(std::string("unit \"") + (unit ? unit : "") + "\" of list " +
                             std::to_string(listId) + " is not a unit of its parameter");
                return;
            }
            binding->itemUnit = unit;
            return;
        }
    AuditProblem("list " + std::to_string(listId) + " of an item unit is not bound");
}

void CKX_EditSetupDlg::OpenCANopenSettings() {
    kx::CKX_CANopenSettingsDlg dialog(m_setup, m_window.get());
    dialog.DoModal();
}

// ---- window services

void CKX_EditSetupDlg::SetTimer(UINT id, UINT ms) {
    kx::HostClock::Instance().SetTimer(this, id, ms, [this, id] { Invoke([this, id] { OnTimer(id); }); });
}

void CKX_EditSetupDlg::KillTimer(UINT id) { kx::HostClock::Instance().KillTimer(this, id); }

int CKX_EditSetupDlg::MessageBox(const char* text, const char* caption, unsigned type) {
    return kx::MessageBox(m_window.get(), text ? text : "", caption ? caption : "", type);
}
