#include "SubDialogs.h"

#include <map>

#include "AdvancedDialog.h"
#include "AnalogReferenceDlg.h"
#include "DriveInfo.h"
#include "FiltersDialog.h"
#include "InertiaQuestion.h"
#include "MotorSetupDialog.h"

namespace dcdrive {
namespace {

template <class Dialog>
int Run(CKX_Setup& setup, CWnd* parent) {
    Dialog dialog(setup, parent);
    return dialog.DoModal();
}

std::map<SubDialog, SubDialogRunner>& Registry() {
    static std::map<SubDialog, SubDialogRunner> registry{
        {SubDialog::MotorSetup, &Run<CMotorSetupDialog>},
        {SubDialog::Advanced, &Run<CAdvancedDialog>},
        {SubDialog::DriveInfo, &Run<CDriveInfo>},
        {SubDialog::InertiaQuestion, &Run<CInertiaQuestion>},
        {SubDialog::ExternalReference, &Run<CAnalogReferenceDlg>},
        {SubDialog::Filters, [](CKX_Setup& s, CWnd* p) { return CFiltersDialog(s, 0, p).DoModal(); }},
    };
    return registry;
}

}  // namespace

SubDialogRunner FindSubDialog(SubDialog kind) {
    const auto it = Registry().find(kind);
    return it == Registry().end() ? SubDialogRunner() : it->second;
}

void RegisterSubDialog(SubDialog kind, SubDialogRunner runner) {
    if (runner)
        Registry()[kind] = std::move(runner);
    else
        Registry().erase(kind);
}

SubDialogOverride::SubDialogOverride(SubDialog kind, SubDialogRunner runner) : m_kind(kind) {
    auto& registry = Registry();
    const auto it = registry.find(kind);
    m_had = it != registry.end();
    if (m_had) m_previous = it->second;
    if (runner)
        registry[kind] = std::move(runner);
    else
        registry.erase(kind);
}

SubDialogOverride::~SubDialogOverride() {
    if (m_had)
        Registry()[m_kind] = std::move(m_previous);
    else
        Registry().erase(m_kind);
}

}  // namespace dcdrive
