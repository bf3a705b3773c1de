// The resource chain: the modules (the host's GUI module and each plug-in)
// register their dialog templates, images and strings when they load; a
// dialog is built from its template id, an image is found by name or by
// bitmap id, searching the modules from the last registered to the first.
#pragma once

#include <QIcon>
#include <QString>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kx/gui/Gui.h"

class QDialog;

namespace kx {

// Builds the template's controls into the dialog (a uic form's setupUi).
using TemplateBuilder = void (*)(QDialog& dialog);

// The builder of a template compiled from its form: the controls are built
// into the dialog and the form object is not needed afterwards.
template <class Form>
void BuildForm(QDialog& dialog) {
    Form form;
    form.setupUi(&dialog);
}

struct ResourceModule {
    std::string name;
    std::map<unsigned, TemplateBuilder> templates;  // by template id
    std::map<std::string, QString> images;          // by name: Qt resource path
    std::map<unsigned, QString> bitmaps;            // by bitmap id: Qt resource path
    std::map<unsigned, std::string> strings;        // string table
    // A Qt resource folder of bitmaps named by id ("3067.svg" or ".png"),
    // looked up when a bitmap is asked for (the files are registered by the
    // library's start-up code, in no fixed order with the module's own).
    QString bitmapFolder;
};

class KXGUI_API ResourceChain {
public:
    static ResourceChain& Instance();

    // Adds the module at the head of the chain; the module must outlive its
    // registration.
    void Register(const ResourceModule* module);
    void Unregister(const ResourceModule* module);

    TemplateBuilder FindTemplate(unsigned templateId) const;
    // Null icon when no module has it.
    QIcon FindImage(const std::string& name) const;
    QIcon FindBitmap(unsigned bitmapId) const;
    std::optional<std::string> FindString(unsigned id) const;
    // Every template id of every module, ascending.
    std::vector<unsigned> TemplateIds() const;

private:
    ResourceChain() = default;
    std::vector<const ResourceModule*> m_modules;  // head last
};

// The host's GUI module: the host's own templates (the CANopen settings
// dialog) and the bitmaps that plug-ins take from the host.
KXGUI_API const ResourceModule& GetGuiModule();

// Registers a module for the life of the object (what a module does at load).
class KXGUI_API ModuleRegistration {
public:
    explicit ModuleRegistration(const ResourceModule& module);
    ~ModuleRegistration();
    ModuleRegistration(const ModuleRegistration&) = delete;
    ModuleRegistration& operator=(const ModuleRegistration&) = delete;

private:
    const ResourceModule& m_module;
};

}  // namespace kx
