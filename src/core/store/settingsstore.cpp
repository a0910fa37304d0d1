#include "core/store/settingsstore.h"

#ifdef _WIN32
#include "core/store/registrystore.h"
#else
#include "core/store/filestore.h"
#endif

std::unique_ptr<SettingsStore> OpenMachineSettingsStore()
{
#ifdef _WIN32
    return std::make_unique<RegistryStore>();
#else
    // The folder is fixed when the program is built; a user who may not write
    // there gets a file of their own (see filestore.h).
    return std::make_unique<FileStore>(MachineSettingsFile(BRISKO_SETTINGS_DIR),
                                       UserSettingsFile());
#endif
}
