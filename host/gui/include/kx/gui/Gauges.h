// The host's gauges, each drawn inside a placeholder control of a dialog:
// a bar showing a value between limits (drawn from a reference value), a
// shaft picture showing an angle, and the phase currents picture.
#pragma once

#include <QPointer>
#include <string>
#include <utility>

#include "kx/gui/Gui.h"
#include "kx/gui/PlotData.h"

class CKX_EditSetupDlg;

namespace kx {
class GaugeView;
}

// What every gauge shares: its placeholder and its enabled state.
class KXGUI_API CKX_Gauge {
public:
    CKX_Gauge() = default;
    virtual ~CKX_Gauge();
    CKX_Gauge(const CKX_Gauge&) = delete;
    CKX_Gauge& operator=(const CKX_Gauge&) = delete;

    // Draws the gauge inside control `controlId` of `dialog`; FALSE when the
    // dialog has no such control.
    BOOL SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog);
    void EnableWindow(BOOL enable);
    BOOL IsWindowEnabled() const;
    // Repaints soon.
    void Invalidate();
    // The drawing widget (null before SubclassDlgItem).
    QWidget* GetWidget() const;

protected:
    friend class kx::GaugeView;
    virtual void Paint(QWidget& widget) const = 0;

private:
    QPointer<kx::GaugeView> m_view;  // a child of its placeholder control
};

// A horizontal bar from the reference value to the current value, with the
// limits at its ends and the value printed in the value format.
class KXGUI_API CBarGraph : public CKX_Gauge {
public:
    void SetLimits(double min, double max);
    void SetCurrentValue(double value) { m_value = value; }
    // The value the bar is drawn from (kx::BarReference gives the usual one).
    void SetReference(double reference) { m_reference = reference; }
    void SetColor(COLORREF color) { m_color = color; }
    void SetFormat(const char* format) { m_format = format ? format : ""; }

    double GetMin() const { return m_min; }
    double GetMax() const { return m_max; }
    double GetCurrentValue() const { return m_value; }
    double GetReference() const { return m_reference; }
    COLORREF GetColor() const { return m_color; }
    // The value as the bar prints it.
    std::string GetValueText() const;
    // The filled part as fractions of the bar's length, (from, to) with
    // from <= to, value and reference clamped to the limits.
    std::pair<double, double> FilledSpan() const;

    void Repaint() { Invalidate(); }

protected:
    void Paint(QWidget& widget) const override;

private:
    double m_min = 0.0, m_max = 1.0;
    double m_value = 0.0, m_reference = 0.0;
    COLORREF m_color = 0x0000FF;
    std::string m_format = "%g";
};

// A shaft seen from its end, with a mark at the angle (radians,
// counter-clockwise from the top). Disabled, it is drawn greyed.
class KXGUI_API CEncoderDiagram : public CKX_Gauge {
public:
    void SetAngle(double radians);
    double GetAngle() const { return m_angle; }

protected:
    void Paint(QWidget& widget) const override;

private:
    double m_angle = 0.0;
};

// The motor's phase currents as arrows (a brushed motor has one, the
// armature current); disabled, it is drawn greyed.
class KXGUI_API CPhaseDiagram : public CKX_Gauge {
public:
    // Current of the armature, as a share of the picture's full scale.
    void SetCurrent(double share);
    double GetCurrent() const { return m_current; }

protected:
    void Paint(QWidget& widget) const override;

private:
    double m_current = 0.0;
};
