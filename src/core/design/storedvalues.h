#pragma once

#include <span>
#include <string_view>

// Every value the program keeps in the settings store, declared once: its
// name, what a start uses when it is absent or unusable, the text form it is
// written in, and who writes it. Start-up, the housekeeping tick, the views
// and brisko-reg all take the names from here.

enum class TextForm {
    AsTyped,      // the minutes entry's text, unchanged
    PlainDecimal, // "1000"
    SignedPlace,  // " 1", " 3600": a blank where a minus sign would stand
};

enum class Writer {
    MinutesEntry, // each accepted change of the entry
    CheckBox,     // each change of the box
    Housekeeping, // every housekeeping tick
    Outside,      // never the program: another program asks it to quit
};

struct StoredValue {
    std::string_view name;
    // The number a start uses when the value is absent or does not read as
    // one it accepts.
    double fallback = 0;
    TextForm form = TextForm::PlainDecimal;
    Writer writer = Writer::Housekeeping;
};

namespace stored {

inline constexpr StoredValue kText1{"Text1", 5, TextForm::AsTyped, Writer::MinutesEntry};
inline constexpr StoredValue kTop{"Top", 1000, TextForm::PlainDecimal, Writer::Housekeeping};
inline constexpr StoredValue kLeft{"Left", 1000, TextForm::PlainDecimal, Writer::Housekeeping};
inline constexpr StoredValue kCheck1{"Check1", 0, TextForm::SignedPlace, Writer::CheckBox};
inline constexpr StoredValue kCheck2{"Check2", 0, TextForm::SignedPlace, Writer::CheckBox};
inline constexpr StoredValue kCheck3{"Check3", 0, TextForm::SignedPlace, Writer::CheckBox};
inline constexpr StoredValue kJs00{"js00", 0, TextForm::SignedPlace, Writer::Housekeeping};
inline constexpr StoredValue kIsClose{"isClose", 0, TextForm::PlainDecimal, Writer::Outside};

// In the order a start reads them (isClose only by the housekeeping tick).
inline constexpr StoredValue kAll[] = {kText1,  kTop,    kLeft,   kJs00,
                                       kCheck1, kCheck2, kCheck3, kIsClose};

} // namespace stored

// The value of that name, whatever its case (names match without regard to
// case, as in the registry); nullptr for a name the program does not use.
const StoredValue *StoredValueNamed(std::string_view name);
