#include "kx/gui/Gauges.h"

#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "kx/gui/EditSetupDlg.h"

namespace kx {

// The drawing surface of a gauge, inside its placeholder control.
class GaugeView : public QWidget {
public:
    GaugeView(const CKX_Gauge& gauge, QWidget* parent) : QWidget(parent), m_gauge(&gauge) {
        setMinimumSize(fontMetrics().height() * 3, fontMetrics().height() * 2);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void Forget() { m_gauge = nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_gauge) m_gauge->Paint(*this);
    }

private:
    const CKX_Gauge* m_gauge;
};

}  // namespace kx

namespace {

QColor ToQColor(COLORREF c) { return QColor(kx::GetRValue(c), kx::GetGValue(c), kx::GetBValue(c)); }

// The pen and fill of a gauge's drawing, greyed when it is disabled.
QColor Ink(const QWidget& widget) {
    return widget.palette().color(widget.isEnabled() ? QPalette::Active : QPalette::Disabled,
                                  QPalette::WindowText);
}

}  // namespace

// ---- every gauge

CKX_Gauge::~CKX_Gauge() {
    if (m_view) {
        m_view->Forget();
        delete m_view.data();
    }
}

BOOL CKX_Gauge::SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog) {
    QWidget* placeholder = dialog ? dialog->GetDlgItem(controlId) : nullptr;
    if (!placeholder) return FALSE;
    if (m_view) {
        m_view->Forget();
        delete m_view.data();
    }
    auto* layout = placeholder->layout();
    if (!layout) {
        layout = new QVBoxLayout(placeholder);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    if (auto* label = qobject_cast<QLabel*>(placeholder)) label->clear();
    m_view = new kx::GaugeView(*this, placeholder);
    layout->addWidget(m_view);
    return TRUE;
}

void CKX_Gauge::EnableWindow(BOOL enable) {
    if (m_view) m_view->setEnabled(enable != FALSE);
}

BOOL CKX_Gauge::IsWindowEnabled() const { return m_view && m_view->isEnabled() ? TRUE : FALSE; }

void CKX_Gauge::Invalidate() {
    if (m_view) m_view->update();
}

QWidget* CKX_Gauge::GetWidget() const { return m_view.data(); }

// ---- the bar

void CBarGraph::SetLimits(double min, double max) {
    m_min = std::min(min, max);
    m_max = std::max(min, max);
}

std::string CBarGraph::GetValueText() const {
    // Shown as the dialogs show values: with the user's decimal separator.
    std::string text = kx::FormatValue(m_format, m_value);
    const QString point = QLocale().decimalPoint();
    if (point != ".") {
        QString shown = QString::fromStdString(text);
        shown.replace('.', point);
        text = shown.toStdString();
    }
    return text;
}

std::pair<double, double> CBarGraph::FilledSpan() const {
    const double span = m_max - m_min;
    if (!(span > 0.0)) return {0.0, 0.0};
    const auto at = [&](double v) { return (std::clamp(v, m_min, m_max) - m_min) / span; };
    const double a = at(m_reference), b = at(m_value);
    return {std::min(a, b), std::max(a, b)};
}

void CBarGraph::Paint(QWidget& widget) const {
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = widget.fontMetrics();
    const int line = metrics.height();
    const QColor ink = Ink(widget);
    // The value above the bar, the limits below it.
    const QRect area = widget.rect().adjusted(1, 1, -1, -1);
    const int barHeight = std::max(line, area.height() - 2 * line - 4);
    const QRect bar(area.left(), area.top() + line + 2, area.width(), barHeight);
    painter.setPen(ink);
    painter.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignCenter,
                     QString::fromStdString(GetValueText()));
    painter.fillRect(bar, widget.palette().color(QPalette::Base));
    const auto [from, to] = FilledSpan();
    const QRectF filled(bar.left() + from * bar.width(), bar.top(), (to - from) * bar.width(), bar.height());
    QColor fill = ToQColor(m_color);
    if (!widget.isEnabled()) fill = ink;
    painter.fillRect(filled, fill);
    // The reference as a mark across the bar.
    const double ref =
        m_max > m_min ? (std::clamp(m_reference, m_min, m_max) - m_min) / (m_max - m_min) : 0.0;
    const double x = bar.left() + ref * bar.width();
    painter.drawLine(QPointF(x, bar.top() - 2), QPointF(x, bar.bottom() + 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar);
    const QRect limits(area.left(), bar.bottom() + 2, area.width(), line);
    painter.drawText(limits, Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(kx::FormatValue("%g", m_min)));
    painter.drawText(limits, Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromStdString(kx::FormatValue("%g", m_max)));
}

// ---- the shaft

void CEncoderDiagram::SetAngle(double radians) {
    if (!std::isfinite(radians)) return;
    m_angle = radians;
    Invalidate();
}

void CEncoderDiagram::Paint(QWidget& widget) const {
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = Ink(widget);
    const double side = std::min(widget.width(), widget.height()) - 4.0;
    if (side <= 4.0) return;
    const QPointF centre = QRectF(widget.rect()).center();
    const double r = side / 2.0;
    // The encoder disc with its slots, and the shaft mark at the angle
    // (counter-clockwise from the top).
    painter.setPen(QPen(ink, std::max(1.0, r / 40.0)));
    painter.setBrush(widget.isEnabled() ? QColor(230, 236, 245) : widget.palette().color(QPalette::Window));
    painter.drawEllipse(centre, r, r);
    constexpr int kSlots = 24;
    for (int i = 0; i < kSlots; ++i) {
        const double a = m_angle + 2.0 * std::numbers::pi * i / kSlots;
        const QPointF dir(-std::sin(a), -std::cos(a));
        painter.drawLine(centre + dir * r * 0.82, centre + dir * r * 0.95);
    }
    const QPointF tip(-std::sin(m_angle), -std::cos(m_angle));
    painter.setPen(QPen(widget.isEnabled() ? QColor(200, 0, 0) : ink, std::max(2.0, r / 15.0), Qt::SolidLine,
                        Qt::RoundCap));
    painter.drawLine(centre, centre + tip * r * 0.75);
    painter.setBrush(ink);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(centre, r * 0.12, r * 0.12);
}

// ---- the phase currents

void CPhaseDiagram::SetCurrent(double share) {
    if (!std::isfinite(share)) return;
    m_current = std::clamp(share, -1.0, 1.0);
    Invalidate();
}

void CPhaseDiagram::Paint(QWidget& widget) const {
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = Ink(widget);
    const double side = std::min(widget.width(), widget.height()) - 4.0;
    if (side <= 4.0) return;
    const QPointF centre = QRectF(widget.rect()).center();
    const double r = side / 2.0;
    painter.setPen(QPen(ink, 1.0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, r, r);
    // The armature current as an arrow along the horizontal axis.
    const QPointF end = centre + QPointF(m_current * r * 0.9, 0.0);
    painter.setPen(QPen(widget.isEnabled() ? QColor(0, 0, 160) : ink, std::max(2.0, r / 20.0)));
    painter.drawLine(centre, end);
    if (m_current != 0.0) {
        const double head = r * 0.12 * (m_current > 0 ? 1.0 : -1.0);
        QPainterPath arrow;
        arrow.moveTo(end);
        arrow.lineTo(end + QPointF(-head, head * 0.6));
        arrow.lineTo(end + QPointF(-head, -head * 0.6));
        arrow.closeSubpath();
        painter.fillPath(arrow, painter.pen().color());
    }
}
