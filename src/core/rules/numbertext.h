#pragma once

#include <string>
#include <string_view>

// How every stored or typed text becomes a number, and how numbers become
// stored text. Plain functions, no locale: '.' is always the decimal point.

// Reads the number a text begins with. Blanks, tabs and line feeds are skipped
// wherever they stand; then a sign, digits with at most one '.', and an
// exponent introduced by E or D. "&H"/"&O" start a hexadecimal/octal whole
// number. No number gives 0. Results beyond the range of a double saturate to
// the largest finite double (with its sign), so callers never see inf or NaN.
double LeadingNumber(std::string_view text);

// "-12.5", "1000", ".5" is written "0.5": an optional minus sign, no exponent,
// no trailing zeros, at most 15 significant digits.
std::string PlainDecimalText(double value);

// Like the plain form, but a number that is not negative gets one blank where
// the minus sign would stand, and magnitudes below 1 have no "0" before the
// point: " 1", " 3600", "-2", " .5", "-.25".
std::string SignedPlaceText(double value);
