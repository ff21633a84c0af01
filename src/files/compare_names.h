#pragma once
#include <string_view>

namespace vt {

// The order of file names within a folder. Natural order (the default) is the
// logical order the Windows shell shows: digit runs compare by numeric value,
// case is ignored. The plain order compares character by character. Both are
// implemented here rather than taken from the system so that every platform
// orders a folder the same way.

// The natural-order switch, read once at start from the settings (on unless
// the system's policy turns it off).
void SetNaturalFileOrder(bool on);
bool NaturalFileOrder();

// Negative, zero or positive, by the switch above.
int CompareFileNames(std::u16string_view a, std::u16string_view b);

// Logical order. Each name is a sequence of elements: a digit run ("0"-"9"), a
// period, or any other single character. A period sorts before a digit run and
// a digit run before any other character. Digit runs compare by value (any
// length, no overflow); other characters by their collation weight ignoring
// case. Of two names equal in every element, the one whose first differing
// digit run has more leading zeros is the lesser ("a01" < "a1").
int CompareFileNamesLogical(std::u16string_view a, std::u16string_view b);

// Plain order: collation weights character by character with case ignored;
// names equal that way are ordered by case, lower case first.
int CompareFileNamesPlain(std::u16string_view a, std::u16string_view b);

// A total order for stepping through a folder: file names, then (for names the
// order above holds equal, such as "A.jpg" and "a.jpg" on a case-sensitive file
// system) code unit by code unit. Zero only for identical names.
int CompareFileNamesStrict(std::u16string_view a, std::u16string_view b);

}  // namespace vt
