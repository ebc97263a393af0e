#include "ComponentRegistry.h"

namespace mail {

void ComponentRegistry::Register(const QString& progId, Factory factory) {
    factories_[progId] = std::move(factory);
}

std::unique_ptr<ComponentObject> ComponentRegistry::CreateObject(const QString& progId,
                                                                 QString* error) const {
    auto it = factories_.find(progId);
    if (it == factories_.end()) {
        if (error) *error = QStringLiteral("mail component \"%1\" is not available").arg(progId);
        return nullptr;
    }
    auto object = it->second();
    if (!object && error)
        *error = QStringLiteral("mail component \"%1\" could not be created").arg(progId);
    return object;
}

}  // namespace mail
