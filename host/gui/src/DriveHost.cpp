#include "kx/gui/DriveHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

#include "drive/VirtualDrive.h"
#include "kx/Comm.h"
#include "kx/Script.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Clock.h"

namespace kx {
namespace {

constexpr int kPaceMs = 10;      // real time: how often the drive catches up with the wall clock
constexpr int kRefreshMs = 100;  // how often the panel shows the drive again

// What SetVirtualDrive installed.
struct Installed {
    vdrive::VirtualDrive* drive = nullptr;
    std::unique_ptr<VirtualDriveLink> link;
    DriveLink* previousLink = nullptr;
    int listener = 0;
    std::unique_ptr<QTimer> pace;  // real time only, while an application runs
};

Installed& Current() {
    static Installed installed;
    return installed;
}

QPointer<QWidget>& Panel() {
    static QPointer<QWidget> panel;
    return panel;
}

// Runs the installed drive up to host time now.
void Catch() {
    Installed& in = Current();
    if (in.link) in.link->AdvanceTo(HostClock::Instance().Now());
}

// ---------------------------------------------------------------- the panel

QString Number(double value, int decimals) { return QString::number(value, 'f', decimals); }

// A read-only value in the status group: right-aligned digits in a width
// that fits the longest value, so that the numbers do not jump about.
QLabel* ValueLabel(const QString& widest) {
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 4);
    return label;
}

QDoubleSpinBox* SpinBox(double low, double high, int decimals, double step, double value,
                        const QString& suffix) {
    auto* box = new QDoubleSpinBox;
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setLocale(QLocale::c());
    box->setKeyboardTracking(false);
    return box;
}

class DrivePanel : public QWidget {
public:
    DrivePanel() {
        setObjectName("kxVirtualDrivePanel");
        setWindowTitle("Virtual Drive");
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(StatusGroup());
        layout->addWidget(TurnGroup());
        layout->addWidget(InputsGroup());
        layout->addWidget(FaultsGroup());
        layout->addStretch(1);
        layout->setSizeConstraint(QLayout::SetMinimumSize);

        connect(&m_refresh, &QTimer::timeout, this, [this] { Refresh(); });
        m_refresh.start(kRefreshMs);
        // The panel stays usable while a modal dialog is open: it is made a
        // transient window of the modal window on top whenever that changes.
        qApp->installEventFilter(this);
        Refresh();
    }

    // Follows the modal window on top (see the constructor).
    void FollowTopWindow() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == this || !isVisible()) return;
        QWindow* own = windowHandle();
        QWindow* target = modal ? modal->windowHandle() : nullptr;
        if (!own || own->transientParent() == target) return;
        const bool place = !m_placed && modal;
        own->setTransientParent(target);
        // The input block of a window is worked out when it is shown.
        hide();
        if (place) PlaceBeside(modal);
        show();
    }

    void Refresh() {
        vdrive::VirtualDrive* drive = GetVirtualDrive();
        setEnabled(drive != nullptr);
        if (!drive) return;
        const vdrive::Status status = drive->GetStatus();
        m_motorAngle->setText(Number(status.motorAngle, 4) + " rad");
        m_loadAngle->setText(Number(status.loadAngle, 4) + " rad");
        m_speed->setText(Number(status.motorSpeed, 2) + " rad/s");
        m_current->setText(Number(status.current, 3) + " A");
        m_supply->setText(Number(status.supply, 2) + " V");
        m_axis->setText(status.axisOn ? "on" : "off");
        m_program->setText(status.program.empty() ? QString("none") : QString::fromStdString(status.program));
        char mer[8];
        std::snprintf(mer, sizeof mer, "0x%04X", status.mer);
        m_mer->setText(mer);
        m_time->setText(Number(status.time, 3) + " s");
        const QSignalBlocker blockBlocked(m_blocked);
        m_blocked->setChecked(drive->GetPlant().shaftBlocked);
        // A blocked shaft cannot be turned by hand.
        m_turn->setEnabled(!drive->GetPlant().shaftBlocked);
        for (const auto& [fault, box] : m_faults) {
            const QSignalBlocker blocker(box);
            box->setChecked(drive->FaultOn(fault));
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched != this &&
            watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
            QPointer<DrivePanel> self(this);
            QTimer::singleShot(0, this, [self] {
                if (self) self->FollowTopWindow();
            });
        }
        return false;
    }

    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (!m_placed) {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this)
                PlaceBeside(modal);
        }
    }

private:
    void PlaceBeside(QWidget* dialog) {
        m_placed = true;
        const QRect frame = dialog->frameGeometry();
        QPoint at(frame.right() + 12, frame.top());
        if (const QScreen* screen = dialog->screen()) {
            const QRect room = screen->availableGeometry();
            if (at.x() + width() > room.right()) at.setX(std::max(room.left(), frame.left() - width() - 12));
        }
        move(at);
    }

    QGroupBox* StatusGroup() {
        auto* group = new QGroupBox("Axis");
        auto* form = new QFormLayout(group);
        form->setLabelAlignment(Qt::AlignLeft);
        const QString angle = "-999999.9999 rad";
        m_motorAngle = ValueLabel(angle);
        m_loadAngle = ValueLabel(angle);
        m_speed = ValueLabel("-99999.99 rad/s");
        m_current = ValueLabel("-999.999 A");
        m_supply = ValueLabel("9999.99 V");
        m_axis = ValueLabel("off");
        m_program = ValueLabel("SSI_Encoder_Connection_Test");
        m_mer = ValueLabel("0xFFFF");
        m_time = ValueLabel("999999.999 s");
        form->addRow("Motor shaft angle:", m_motorAngle);
        form->addRow("Load shaft angle:", m_loadAngle);
        form->addRow("Motor speed:", m_speed);
        form->addRow("Motor current:", m_current);
        form->addRow("Supply voltage:", m_supply);
        form->addRow("Power stage:", m_axis);
        form->addRow("Running program:", m_program);
        form->addRow("Motion errors (MER):", m_mer);
        form->addRow("Drive time:", m_time);
        return group;
    }

    QGroupBox* TurnGroup() {
        auto* group = new QGroupBox("Turn a shaft by hand");
        auto* grid = new QGridLayout(group);
        auto* motor = new QRadioButton("&Motor shaft");
        auto* load = new QRadioButton("&Load shaft");
        motor->setChecked(true);
        auto* angle = SpinBox(-1000.0, 1000.0, 4, 0.1, 2.0 * std::numbers::pi, " rad");
        auto* seconds = SpinBox(0.01, 60.0, 2, 0.1, kDefaultTurnSeconds, " s");
        auto* turn = m_turn = new QPushButton("&Turn");
        turn->setObjectName("turn");
        grid->addWidget(motor, 0, 0);
        grid->addWidget(load, 0, 1);
        grid->addWidget(new QLabel("Angle:"), 1, 0);
        grid->addWidget(angle, 1, 1);
        grid->addWidget(new QLabel("Over:"), 2, 0);
        grid->addWidget(seconds, 2, 1);
        grid->addWidget(turn, 3, 1, Qt::AlignRight);
        grid->setColumnStretch(1, 1);
        connect(turn, &QPushButton::clicked, this, [load, angle, seconds] {
            if (vdrive::VirtualDrive* drive = GetVirtualDrive())
                drive->TurnShaft(load->isChecked(), angle->value(), seconds->value());
        });
        return group;
    }

    QGroupBox* InputsGroup() {
        auto* group = new QGroupBox("Inputs");
        auto* grid = new QGridLayout(group);
        vdrive::VirtualDrive* drive = GetVirtualDrive();
        const vdrive::Plant plant = drive ? drive->GetPlant() : vdrive::Plant{};
        auto* analogue = SpinBox(-10.0, 10.0, 2, 0.1, plant.analogueReference, " V");
        analogue->setObjectName("analogue");
        auto* supply = SpinBox(0.0, 1000.0, 1, 1.0, plant.supplyVoltage, " V");
        supply->setObjectName("supply");
        auto* setAnalogue = new QPushButton("Set");
        auto* setSupply = new QPushButton("Set");
        m_blocked = new QCheckBox("Motor shaft &blocked");
        m_blocked->setObjectName("block");
        grid->addWidget(new QLabel("Analogue reference:"), 0, 0);
        grid->addWidget(analogue, 0, 1);
        grid->addWidget(setAnalogue, 0, 2);
        grid->addWidget(new QLabel("Supply voltage:"), 1, 0);
        grid->addWidget(supply, 1, 1);
        grid->addWidget(setSupply, 1, 2);
        grid->addWidget(m_blocked, 2, 0, 1, 3);
        grid->setColumnStretch(1, 1);
        const auto applyAnalogue = [analogue] {
            if (vdrive::VirtualDrive* d = GetVirtualDrive()) d->SetAnalogueInput(analogue->value());
        };
        const auto applySupply = [supply] {
            if (vdrive::VirtualDrive* d = GetVirtualDrive()) d->SetSupply(supply->value());
        };
        connect(setAnalogue, &QPushButton::clicked, this, applyAnalogue);
        connect(analogue, &QDoubleSpinBox::editingFinished, this, applyAnalogue);
        connect(setSupply, &QPushButton::clicked, this, applySupply);
        connect(supply, &QDoubleSpinBox::editingFinished, this, applySupply);
        connect(m_blocked, &QCheckBox::toggled, this, [](bool on) {
            if (vdrive::VirtualDrive* d = GetVirtualDrive()) d->SetBlocked(on);
        });
        return group;
    }

    QGroupBox* FaultsGroup() {
        auto* group = new QGroupBox("Faults");
        auto* grid = new QGridLayout(group);
        constexpr int kLast = static_cast<int>(vdrive::Fault::NoProgram);
        constexpr int kRows = (kLast + 2) / 2;
        for (int i = 0; i <= kLast; ++i) {
            const auto fault = static_cast<vdrive::Fault>(i);
            auto* box = new QCheckBox(vdrive::FaultName(fault));
            box->setObjectName(vdrive::FaultName(fault));
            grid->addWidget(box, i % kRows, i / kRows);
            connect(box, &QCheckBox::toggled, this, [fault](bool on) {
                if (vdrive::VirtualDrive* d = GetVirtualDrive()) d->SetFault(fault, on);
            });
            m_faults.emplace_back(fault, box);
        }
        return group;
    }

    QTimer m_refresh;
    bool m_placed = false;
    QLabel *m_motorAngle = nullptr, *m_loadAngle = nullptr, *m_speed = nullptr, *m_current = nullptr,
           *m_supply = nullptr, *m_axis = nullptr, *m_program = nullptr, *m_mer = nullptr, *m_time = nullptr;
    QCheckBox* m_blocked = nullptr;
    QPushButton* m_turn = nullptr;
    std::vector<std::pair<vdrive::Fault, QCheckBox*>> m_faults;
};

}  // namespace

void SetVirtualDrive(vdrive::VirtualDrive* drive) {
    Installed& in = Current();
    if (in.drive == drive) return;
    if (in.drive) {
        CloseVirtualDrivePanel();
        HostClock::Instance().RemoveListener(in.listener);
        in.pace.reset();
        if (CKX_Comm::GetActiveLink() == in.link.get()) CKX_Comm::SetActiveLink(in.previousLink);
        in = Installed{};
    }
    if (!drive) return;
    in.drive = drive;
    in.link = std::make_unique<VirtualDriveLink>(*drive);
    in.link->SetTimeSource([] { return HostClock::Instance().Now(); });
    in.link->Attach(HostClock::Instance().Now());
    in.previousLink = CKX_Comm::GetActiveLink();
    CKX_Comm::SetActiveLink(in.link.get());
    // Virtual time moves only when the clock is advanced: the drive moves
    // with it, to each timer's due time before that timer fires.
    in.listener = HostClock::Instance().AddListener([](double now) {
        if (Current().link) Current().link->AdvanceTo(now);
    });
    if (QCoreApplication::instance()) {
        in.pace = std::make_unique<QTimer>();
        QObject::connect(in.pace.get(), &QTimer::timeout, [] {
            if (HostClock::Instance().GetMode() != HostClock::Mode::Real) return;
            Catch();
            // What the drive sent on its own goes to the registered handler
            // while the host dispatches its messages.
            CKX_Comm::CheckForUnrequestedMessages(nullptr);
        });
        in.pace->start(kPaceMs);
    }
}

vdrive::VirtualDrive* GetVirtualDrive() {
    Catch();
    return Current().drive;
}

VirtualDriveLink* GetVirtualDriveLink() { return Current().link.get(); }

QWidget* ShowVirtualDrivePanel() {
    if (!Current().drive) return nullptr;
    if (!Panel()) Panel() = new DrivePanel;
    Panel()->show();
    Panel()->raise();
    static_cast<DrivePanel*>(Panel().data())->FollowTopWindow();
    return Panel();
}

QWidget* VirtualDrivePanel() { return Panel(); }

void CloseVirtualDrivePanel() {
    if (Panel()) delete Panel().data();
}

}  // namespace kx
