#pragma once
// What the module writes to the registry: the add-in class, the pane control (with its control keys) and
// the type library with its interfaces.
#include <string>

#include "platform/com/Registration.h"

namespace sealrun::addin {

platform::com::ServerRegistration AddinServerRegistration(const std::u16string& modulePath);
platform::com::ServerRegistration PaneServerRegistration(const std::u16string& modulePath);
platform::com::TypeLibraryRegistration AddinTypeLibrary(const std::u16string& modulePath);

// Registers both classes and the type library; on failure whatever was written is removed again.
platform::com::HRESULT RegisterModule(const std::u16string& modulePath, platform::com::RegistrationScope scope);
// Removes the classes and the type library; missing keys are not an error.
platform::com::HRESULT UnregisterModule(const std::u16string& modulePath, platform::com::RegistrationScope scope);

}  // namespace sealrun::addin
