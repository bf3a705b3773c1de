// The host's oscilloscope: the settings of the drive's oscilloscope (time
// base, trigger, up to four channels with their scales), the frames it
// streams during a run decoded into a record that is drawn as it arrives, the
// settings editor, records saved and opened as files in the plot folder and
// settings kept in a setup option; the scope window that draws the record on
// a division grid; and the live chart, a rolling plot of values the dialog
// reads itself.
#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "kx/Comm.h"
#include "kx/gui/Graph.h"
#include "kx/gui/Logger.h"

class CKX_Setup;
class CKX_CoffFormat;
class CKX_Variable;
class CKX_EditSetupDlg;
class QWidget;

namespace kx {
class ScopePlot;
struct UnitDef;
class LivePlot;
}  // namespace kx

// Trigger modes of ChangeSettings.
inline constexpr int KX_SCOPE_FREE_RUN = 1;     // records follow each other, no trigger
inline constexpr int KX_SCOPE_REPEATING = 2;    // a record at every trigger
inline constexpr int KX_SCOPE_SINGLE_SHOT = 4;  // one record at the first trigger
// Trigger slopes.
inline constexpr int KX_SCOPE_FALLING = 0;
inline constexpr int KX_SCOPE_RISING = 1;
// Divisions of the screen: each channel shows offset ± kScopeHalfDivisions · step.
inline constexpr int kScopeHalfDivisions = 4;

// The message a scope window sends its dialog when the user changes a
// channel's scale (the wheel over the channel's legend entry): wParam is the
// window's control id, lParam holds the channel (0-based) in its low 16 bits
// and the steps of the 1-2-5 sequence (signed, positive: more per division)
// in its high 16 bits.
inline constexpr UINT KX_WM_CHANGE_CHANNEL_SCALE = 0x467;

class KXGUI_API CKX_ScopeLogger : public CKX_Logger {
public:
    // `coff`: the test program whose variables are found first by name
    // (null: the setup's drive variables only). Neither is owned.
    CKX_ScopeLogger(CKX_Setup& setup, CKX_CoffFormat* coff);
    ~CKX_ScopeLogger() override;
    CKX_ScopeLogger(const CKX_ScopeLogger&) = delete;
    CKX_ScopeLogger& operator=(const CKX_ScopeLogger&) = delete;

    // ---- settings
    // A record of `timeBase` s; `mode` KX_SCOPE_…; the trigger variable
    // `variable` (null or empty: none) crossing `level` (its base unit) in
    // the direction of `slope`, with `pretrigger` % of the record before the
    // trigger. 0 for a time base that is not positive or an unknown mode.
    int ChangeSettings(double timeBase, int mode, int slope, const char* variable, double level,
                       int pretrigger);
    // Adds a channel (at most four); 0 for an empty or repeated name or a
    // fifth channel. Its scale starts at 1 unit per division, offset 0.
    int AddVariable(const char* name, int nSearch);
    // The channel's unit (empty: the variable's own), step per division and
    // the value at the screen's middle line, in that unit. 0 for a name that
    // is no channel or a step that is not positive.
    int RescaleVariable(const char* name, const char* unit, double step, double offset);
    // Moves the step of channel `channel` (0-based) by `scale` steps of the
    // 1-2-5 sequence (positive: more per division). 0 when nothing changed.
    int ChangeChannelScale(int channel, int scale);
    // Steps and offsets from the record's values (each channel fills the
    // screen); 0 when the record holds no value.
    int Autoscale();
    // No channels, no trigger, the default time base; the record emptied.
    void SetDefaultValues();
    // The settings editor, modal over `dialog`; 1 when the user changed the
    // settings (OK), else 0.
    int Edit(CKX_EditSetupDlg* dialog);

    // The settings as text (JSON), and back (0, settings kept, when the text
    // is not settings).
    std::string SettingsText() const;
    int SetSettingsText(const std::string& text);
    int SaveSettingsToSetupOption(const char* option);
    // 0 when the setup has no such option or it holds no settings.
    int LoadSettingsFromSetupOption(const char* option);

    int LocateItems() override;
    // Arms the drive's oscilloscope and begins the upload.
    int ArmDrive(kx::DriveLink& link, std::string& error) override;
    const std::string& GetError() const override { return m_error; }
    // What the drive is armed with (after LocateItems).
    kx::ScopeSettings GetScopeSettings() const;

    // ---- the run
    // Empties the record and waits for frames.
    int BeginUploadData();
    // Ends the upload (the frames still at the drive are dropped).
    void EndUploadData();
    int UploadInProgress() const { return m_uploading ? 1 : 0; }
    // Nonzero once the drive has sent all it will: the single-shot record is
    // complete, or the oscilloscope stopped.
    int DoGracefulStop() const { return (m_complete || m_stopped) ? 1 : 0; }
    // Takes a frame's payload of `length` bytes: the points it carried (≥ 1)
    // went into the record; 0 for a frame without points; -1 for a frame
    // that does not fit the settings (the reason in GetError).
    int OnFrameReceive(int length, const void* data);
    // The points received since the last call: `count` points from `first`,
    // modulo GetPointsNo().
    void GetPointsToBeDrawn(int& first, int& count);
    // Points of a record (0 before the first frame).
    int GetPointsNo() const { return m_recordPoints; }
    // Frames taken and frames that never came (gaps in their numbers).
    int GetFramesReceived() const { return m_frames; }
    int GetFramesLost() const { return m_lost; }

    // ---- records and pictures
    // Asks for a record file in the plot folder; `name` gives the proposed
    // name and receives the chosen path. 1 when one was chosen.
    int DoPromptScopeLoggerFileName(int open, std::string& name);
    // Record files: settings and record (NAME.scope in the plot folder for a
    // bare name). 0 with the reason in GetError.
    int Save(const char* name);
    int Load(const char* name);
    // NAME.csv (the record in the channels' units) and NAME.png (the
    // picture) in the plot folder.
    int SaveGraph(const char* name);
    const std::vector<std::string>& GetSavedFiles() const { return m_saved; }

    CGraphDocument* GetGraphDocument() { return &m_document; }
    // The logger whose document holds `filter`, or null.
    static CKX_ScopeLogger* FromFilter(const CGraphFilter* filter);

    struct Channel {
        std::string name;
        std::string unit;  // empty: the variable's own
        double step = 1.0;
        double offset = 0.0;
        bool located = false;
        kx::DriveSymbol symbol;
        CKX_Variable* variable = nullptr;
    };
    const std::vector<Channel>& GetChannels() const { return m_channels; }
    double GetTimeBase() const { return m_timeBase; }
    int GetMode() const { return m_mode; }
    int GetSlope() const { return m_slope; }
    const std::string& GetTriggerName() const { return m_trigger; }
    double GetTriggerLevel() const { return m_level; }
    int GetPretrigger() const { return m_pretrigger; }
    // The unit a channel's values are shown in.
    std::string ChannelUnit(std::size_t channel) const;

private:
    friend class CScopeWindow;
    // A channel's raw value in its unit.
    double Scale(const Channel& channel, std::int64_t raw) const;
    // The unit a channel is shown in, against its variable's base unit
    // (null: shown in the base unit).
    const kx::UnitDef* DisplayUnit(const Channel& channel) const;
    void Relayout(int points, int triggerPoint, double period);
    void ResetColumns();
    void Changed();  // the settings changed: the windows redraw

    CKX_Setup& m_setup;
    CKX_CoffFormat* m_coff;
    double m_timeBase = 0.1;
    int m_mode = KX_SCOPE_FREE_RUN;
    int m_slope = KX_SCOPE_RISING;
    std::string m_trigger;
    double m_level = 0.0;
    int m_pretrigger = 0;
    int m_maxPoints = 1000;
    std::vector<Channel> m_channels;
    kx::DriveSymbol m_triggerSymbol;
    bool m_triggerLocated = false;

    // the record
    int m_recordPoints = 0;
    int m_triggerPoint = 0;
    double m_period = 0.0;
    int m_drawFirst = 0, m_drawCount = 0;
    bool m_uploading = false, m_complete = false, m_stopped = false;
    bool m_haveSequence = false;
    std::uint16_t m_nextSequence = 0;
    int m_frames = 0, m_lost = 0;

    CGraphDocument m_document;
    std::vector<std::string> m_saved;
    std::string m_error;
};

// The oscilloscope's window: the record of a scope logger on a grid of
// divisions, each channel on its own scale, drawn point by point as frames
// arrive. `yAxes` and `options` as for CGraphWindow (the scope ignores the
// number of axes: each channel has its own).
class KXGUI_API CScopeWindow {
public:
    CScopeWindow(int yAxes, int options);
    ~CScopeWindow();
    CScopeWindow(const CScopeWindow&) = delete;
    CScopeWindow& operator=(const CScopeWindow&) = delete;

    // Draws the scope logger whose document holds `filter` in the
    // placeholder control `controlId`. FALSE without such a control or logger.
    // A scale change of the user goes to the dialog as
    // KX_WM_CHANGE_CHANNEL_SCALE.
    BOOL SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog, CGraphFilter* filter);
    // The same inside any widget; the window changes the scale itself.
    BOOL Create(QWidget* placeholder, CGraphFilter* filter);
    // Everything again from the record and the settings.
    void RefreshGraph();
    // Point `index` of the record arrived; drawn at the next repaint.
    void DrawPoint(int index);
    // Repaints soon / at once.
    void Invalidate();
    void UpdateWindow();
    BOOL SavePicture(const std::string& path) const;
    // The picture as a vector file and the drawn record as text, as for
    // CGraphWindow: NAME.pdf and NAME.csv in the plot folder; on failure
    // FALSE, the reason in GetError and shown over the dialog.
    BOOL CreateWMF(const std::string& name);
    BOOL ExportToASCII(const std::string& name);
    const std::string& GetSavedFile() const { return m_saved; }
    const std::string& GetError() const { return m_error; }
    QWidget* GetWidget() const;
    // Repaints done since the window was made.
    long GetRepaintCount() const;

private:
    BOOL Place(QWidget* placeholder, CGraphFilter* filter);
    void OnScaleWheel(int channel, int steps);
    BOOL Report(bool written);
    CKX_ScopeLogger* m_logger = nullptr;
    QPointer<kx::ScopePlot> m_plot;
    CKX_EditSetupDlg* m_dialog = nullptr;
    unsigned m_controlId = 0;
    std::string m_saved;
    std::string m_error;
};

// The live chart: a rolling plot of a few values, each item drawn between
// its own lower and upper bound, one new point per DrawNewPoint.
class KXGUI_API CKX_Oscilloscope {
public:
    struct Item {
        double m_dUpperBound = 1.0;
        double m_dLowerBound = 0.0;
        double m_dCurrentValue = 0.0;
        COLORREF m_crColor = 0;
    };
    // Points shown before the oldest roll out.
    static constexpr int kHistory = 500;

    CKX_Oscilloscope();
    ~CKX_Oscilloscope();
    CKX_Oscilloscope(const CKX_Oscilloscope&) = delete;
    CKX_Oscilloscope& operator=(const CKX_Oscilloscope&) = delete;

    // Draws in place of the placeholder control; FALSE without it.
    BOOL SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog);
    // A title (may be empty), `items` items, `options` (none yet); the
    // drawn points are dropped.
    void Initialize(const char* title, int items, int options);
    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    // Item `index` (0-based); its bounds and colour apply at the next point.
    Item& GetItem(int index) { return m_items.at(static_cast<std::size_t>(index)); }
    // Appends every item's current value as the next point.
    void DrawNewPoint();
    void Invalidate();
    QWidget* GetWidget() const;
    // Points drawn since Initialize.
    long GetPointCount() const { return m_points; }

private:
    std::string m_title;
    std::vector<Item> m_items;
    long m_points = 0;
    QPointer<kx::LivePlot> m_plot;
};
