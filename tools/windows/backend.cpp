// brisko-reg over the registry (core/store/windows/registrystore.h).

#include "core/store/windows/registrystore.h"
#include "regtool.h"

RegToolBackEnd StoreBackEnd()
{
    RegToolBackEnd backEnd;
    backEnd.whereValuesLive =
        "A value is read from the user's own key (HKCU\\SOFTWARE\\Pelmora\\Brisko) when\n"
        "that holds it, otherwise from the user's old VirtualStore copy, otherwise\n"
        "machine-wide (HKLM in the 32-bit view), and written where it is read from;\n"
        "a value no key holds is written machine-wide, or to the user's own key when\n"
        "the machine-wide key may not be written, which is said. isClose set to 1\n"
        "machine-wide applies to every user.\n";
    backEnd.open = [](const RegCommand &) { return std::make_unique<RegistryStore>(); };
    return backEnd;
}
