#include "kx/gui/Resources.h"

#include <QFileInfo>
#include <algorithm>

namespace kx {

ResourceChain& ResourceChain::Instance() {
    static ResourceChain chain;
    return chain;
}

void ResourceChain::Register(const ResourceModule* module) {
    Unregister(module);
    m_modules.push_back(module);
}

void ResourceChain::Unregister(const ResourceModule* module) {
    m_modules.erase(std::remove(m_modules.begin(), m_modules.end(), module), m_modules.end());
}

TemplateBuilder ResourceChain::FindTemplate(unsigned templateId) const {
    for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) {
        const auto found = (*it)->templates.find(templateId);
        if (found != (*it)->templates.end()) return found->second;
    }
    return nullptr;
}

QIcon ResourceChain::FindImage(const std::string& name) const {
    for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) {
        const auto found = (*it)->images.find(name);
        if (found != (*it)->images.end()) return QIcon(found->second);
    }
    return {};
}

QIcon ResourceChain::FindBitmap(unsigned bitmapId) const {
    for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) {
        const auto found = (*it)->bitmaps.find(bitmapId);
        if (found != (*it)->bitmaps.end()) return QIcon(found->second);
        if ((*it)->bitmapFolder.isEmpty()) continue;
        for (const char* suffix : {".svg", ".png"}) {
            const QString path = (*it)->bitmapFolder + u'/' + QString::number(bitmapId) + QLatin1String(suffix);
            if (QFileInfo::exists(path)) return QIcon(path);
        }
    }
    return {};
}

std::optional<std::string> ResourceChain::FindString(unsigned id) const {
    for (auto it = m_modules.rbegin(); it != m_modules.rend(); ++it) {
        const auto found = (*it)->strings.find(id);
        if (found != (*it)->strings.end()) return found->second;
    }
    return std::nullopt;
}

std::vector<unsigned> ResourceChain::TemplateIds() const {
    std::vector<unsigned> ids;
    for (const ResourceModule* module : m_modules)
        for (const auto& [id, builder] : module->templates) ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

ModuleRegistration::ModuleRegistration(const ResourceModule& module) : m_module(module) {
    ResourceChain::Instance().Register(&m_module);
}

ModuleRegistration::~ModuleRegistration() { ResourceChain::Instance().Unregister(&m_module); }

}  // namespace kx
