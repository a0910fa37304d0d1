#include "core/store/placerules.h"

#include "core/design/storedvalues.h"
#include "core/rules/numbertext.h"
#include "core/text/asciicase.h"

std::string FullKeyPath(RegistryRoot root, std::string_view keyPath)
{
    std::string path = RegRootName(root);
    if (path.empty())
        return path;
    keyPath = keyPath.substr(0, keyPath.find('\0'));
    while (!keyPath.empty() && keyPath.front() == '\\')
        keyPath.remove_prefix(1);
    while (!keyPath.empty() && keyPath.back() == '\\')
        keyPath.remove_suffix(1);
    if (!keyPath.empty())
        path += '\\' + std::string(keyPath);
    return path;
}

bool IsQuitRequest(std::string_view fullKeyPath, std::string_view valueName)
{
    static const std::string programKey = FullKeyPath(RegistryRoot::LocalMachine, kSettingsKey);
    return SameIgnoringCase(valueName, stored::kIsClose.name) &&
           SameIgnoringCase(fullKeyPath, programKey);
}

const RegValue *CopyReadsSee(std::string_view fullKeyPath, const RegValue *user,
                             const RegValue *machine)
{
    if (user && machine && machine->type == kRegSz && IsQuitRequest(fullKeyPath, machine->name) &&
        LeadingNumber(RegSzDataToText(machine->data)) == 1)
        return machine;
    return user ? user : machine;
}

bool WritesToUserCopy(std::string_view fullKeyPath, std::string_view valueName, bool userHoldsIt)
{
    return userHoldsIt && !IsQuitRequest(fullKeyPath, valueName);
}
