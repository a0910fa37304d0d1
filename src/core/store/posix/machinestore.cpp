#include "core/store/posix/filestore.h"

std::unique_ptr<SettingsStore> OpenMachineSettingsStore()
{
    // The folder is fixed when the program is built; a user who may not write
    // there gets a file of their own (see filestore.h).
    return std::make_unique<FileStore>(MachineSettingsFile(BRISKO_SETTINGS_DIR),
                                       UserSettingsFile());
}
