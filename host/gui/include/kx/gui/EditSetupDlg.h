// The host's editor base: a modal dialog built from a template, whose
// controls are bound by parameter name to the parameters of the setup being
// edited. The base shows values in the selected unit, checks what the user
// types against the parameter's limits, writes it back and tells the dialog
// (OnChangedParameterValue, then OnRefreshParameterValue), and runs the
// guideline assistant, the CAN bus group, window timers, message boxes and
// the message map of the dialog.
#pragma once

#include <QtGlobal>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kx/gui/Gui.h"

class CKX_Setup;
class CKX_Parameter;
class CKX_EditSetupDlg;
class QDialog;
class QKeyEvent;
class QComboBox;

namespace kx {

class DialogWindow;
class MotorEditorPanel;

// Control notifications that only a user raises.
enum class Event {
    Clicked,    // a button, check box or radio button was clicked
    SelChange,  // a drop-down list item was chosen
    EditDone,   // an edit was committed (Enter or leaving the field)
    Message,    // a control sent the dialog a window message (id: the message code)
};

using Handler = void (CKX_EditSetupDlg::*)();
using MessageHandler = LRESULT (CKX_EditSetupDlg::*)(WPARAM, LPARAM);

struct MessageMapEntry {
    unsigned id;
    Event event;
    Handler handler;
    MessageHandler onMessage;
};

// A dialog's message map: its own entries, then its base's.
struct MessageMap {
    const MessageMap* base;
    std::span<const MessageMapEntry> entries;
};

}  // namespace kx

// Message map entries: KX_ON_CLICKED(3171, CDriveSetupDlg::OnDetect).
#define KX_ON_CLICKED(id, fn) \
    kx::MessageMapEntry { id, kx::Event::Clicked, static_cast<kx::Handler>(&fn), nullptr }
#define KX_ON_SELCHANGE(id, fn) \
    kx::MessageMapEntry { id, kx::Event::SelChange, static_cast<kx::Handler>(&fn), nullptr }
#define KX_ON_EDITDONE(id, fn) \
    kx::MessageMapEntry { id, kx::Event::EditDone, static_cast<kx::Handler>(&fn), nullptr }
// A window message that a control sends: KX_ON_MESSAGE(0x467, CDlg::OnScale)
// with LRESULT OnScale(WPARAM, LPARAM).
#define KX_ON_MESSAGE(code, fn) \
    kx::MessageMapEntry { code, kx::Event::Message, nullptr, static_cast<kx::MessageHandler>(&fn) }

// What data exchange is doing: loading the controls (FALSE) or reading them
// back into the setup (TRUE).
class CDataExchange {
public:
    explicit CDataExchange(BOOL save) : m_bSaveAndValidate(save) {}
    BOOL m_bSaveAndValidate;
    // Set by a control that could not be read back.
    BOOL m_bFailed = FALSE;
};

class KXGUI_API CKX_EditSetupDlg {
public:
    // Builds the dialog from the template. `steps` is null or a
    // null-terminated array of guideline texts.
    CKX_EditSetupDlg(CKX_Setup& setup, unsigned templateId, int, const char** steps, CWnd* parent);
    virtual ~CKX_EditSetupDlg();
    CKX_EditSetupDlg(const CKX_EditSetupDlg&) = delete;
    CKX_EditSetupDlg& operator=(const CKX_EditSetupDlg&) = delete;

    // Runs the dialog; returns the button that closed it (IDOK 1, IDCANCEL 2).
    // Closing the window or Esc counts as Cancel. An exception thrown by a
    // handler closes the dialog and is thrown on from here.
    int DoModal();

    CKX_Setup& GetSetup() const { return m_setup; }
    unsigned GetTemplateId() const { return m_templateId; }
    // The dialog window (null when the template is not registered).
    QDialog* GetWindow() const;
    // The control with this id, or null.
    QWidget* GetDlgItem(unsigned id) const;
    // Hands a window message from one of its controls to the dialog's
    // handler for `message` (the first in its message map); 0 without one.
    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // What a check of the template against the dialog's tables found: ids
    // that a binding, rule or handler names but the template lacks or holds
    // as an unfitting kind of control, names the setup lacks, ids used
    // twice in the template. Empty for a sound dialog.
    const std::vector<std::string>& AuditProblems() const { return m_audit; }

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // The dialog became visible (once, when DoModal shows it).
    virtual void OnShowWindow();
    virtual void OnTimer(UINT id);
    // A key-down message on its way to a control of the dialog; it is
    // processed normally afterwards unless this returns TRUE.
    virtual BOOL PreTranslateKeyDown(const QKeyEvent& event);

    virtual void OnChangedParameterValue(const char* name);
    virtual void OnRefreshParameterValue(const char* name);
    virtual void OnChangedParameterUnit(const char* name);

    // The message map; a dialog with handlers returns its own, chained to
    // its base's.
    virtual const kx::MessageMap* GetMessageMap() const;

    // ---- bindings
    void AddParameterControls(const char* name, unsigned editId, unsigned unitId);
    void AddCheckParameterControls(const char* name, unsigned checkId);
    void AddSwitchParameterControls(const char* name, unsigned firstId, unsigned lastId);
    void AddSwitchParameterControls(const char* name, unsigned listId);
    void AddSliderParameterControls(const char* name, unsigned sliderId, unsigned editId, unsigned unitId,
                                    unsigned lowSpinId, unsigned highSpinId, double min, double max);
    // A parameter that the dialog owns (it lives outside the setup and must
    // outlive the dialog's bindings).
    void AddUserParameterControls(CKX_Parameter* parameter, unsigned editId, unsigned unitId);
    void RefreshParameterControls(const char* name);
    void RefreshAllParameters(int);

    BOOL UpdateData(BOOL save = TRUE);

    // ---- controls
    void EnableChild(unsigned id, int enable, int = 0);
    void EnableChildren(const unsigned* ids, int enable, int = 0);
    void ShowChild(unsigned id, int show);
    void ShowChildren(const unsigned* ids, int show);
    void SetChildText(unsigned id, const char* text);
    void SetButtonImage(unsigned id, const char* imageName);
    // Shows a bitmap of the resource chain (by bitmap id) in picture control
    // `id`, at the size the template gives the control (else the bitmap's own).
    void SetChildBitmap(unsigned id, unsigned bitmapId);
    void EnableCANSettings();
    // Runs the motor database part of a motor editor's template: the
    // "Database" (10010) and "Motor" (10011) lists, "Save to User Database"
    // (10012) and "Delete" (10013). A chosen motor's data reach the dialog
    // as if the user had typed them.
    void InitializeMotorEditor();
    // The item data of drop-down list `listId` (bound with
    // AddSwitchParameterControls) are values in `unit`, a unit of the bound
    // parameter's quantity, rather than in its base unit.
    void SetSwitchItemUnit(unsigned listId, const char* unit);

    // ---- window services
    void SetTimer(UINT id, UINT ms);
    void KillTimer(UINT id);
    int MessageBox(const char* text, const char* caption = nullptr, unsigned type = MB_OK);
    void EndDialog(int result);
    CWnd* GetParentWindow() const { return m_parent; }

    // Records a fault of the template or the tables (see AuditProblems).
    void AuditProblem(const std::string& problem);

private:
    friend class kx::DialogWindow;
    struct Binding;

    Binding& Bind(int kind, const std::string& name, CKX_Parameter* user = nullptr);
    void BindValue(const std::string& name, CKX_Parameter* user, unsigned editId, unsigned unitId);
    void BuildWindow();
    void WireMessageMap();
    void WireBindings();
    void ShowGuideline(int step);
    QWidget* Control(unsigned id, const char* role, std::initializer_list<const char*> classes);
    CKX_Parameter* BoundParameter(const Binding& binding) const;
    void LoadBinding(const Binding& binding);
    void LoadAll();
    bool CommitEdit(const Binding& binding, bool quietIfUnchanged);
    void WriteValue(const Binding& binding, double displayValue);
    void WriteBaseValue(const Binding& binding, double baseValue);
    void ChangeUnit(const Binding& binding, QComboBox* list);
    void Notify(const std::string& name);
    void Invoke(const std::function<void()>& call);
    void OpenCANopenSettings();

    CKX_Setup& m_setup;
    unsigned m_templateId;
    CWnd* m_parent;
    std::vector<std::string> m_steps;
    int m_step = 0;
    std::unique_ptr<kx::DialogWindow> m_window;
    std::unique_ptr<kx::MotorEditorPanel> m_motorEditor;
    std::map<unsigned, QWidget*> m_controls;
    std::vector<std::unique_ptr<Binding>> m_bindings;
    std::vector<std::string> m_audit;
    bool m_wired = false;
    bool m_committing = false;
    std::exception_ptr m_pending;
};
