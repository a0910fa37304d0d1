#include "core/design/storedvalues.h"

#include "core/text/asciicase.h"

const StoredValue *StoredValueNamed(std::string_view name)
{
    for (const StoredValue &value : stored::kAll)
        if (SameIgnoringCase(value.name, name))
            return &value;
    return nullptr;
}
