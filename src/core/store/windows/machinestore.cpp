#include "core/store/windows/registrystore.h"

std::unique_ptr<SettingsStore> OpenMachineSettingsStore()
{
    return std::make_unique<RegistryStore>();
}
