#include "core/rules/numbertext.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

namespace {

bool IsIgnored(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// Walks a text while skipping the blanks, tabs and line feeds that may stand
// anywhere inside a number ("1 000" is one thousand).
class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) { Skip(); }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    void Next()
    {
        ++m_pos;
        Skip();
    }

private:
    void Skip()
    {
        while (m_pos < m_text.size() && IsIgnored(m_text[m_pos]))
            ++m_pos;
    }
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// More decimal digits than this cannot change the nearest double; the rest
// only decide rounding, which one extra non-zero digit stands for.
constexpr std::size_t kMaxDigits = 800;
// Exponents are held in 64 bits: a written exponent saturates far above any
// digit count a text can hold, and the final one, far out of a double's range.
constexpr std::int64_t kWrittenExponentLimit = 1'000'000'000'000'000;
constexpr std::int64_t kExponentClamp = 100000;

// A whole number written in a power-of-two base (16 or 8), converted exactly
// by going through hexadecimal digits.
double ReadBitDigits(Cursor &cur, int bitsPerDigit)
{
    const int base = 1 << bitsPerDigit;
    std::string bits; // one '0'/'1' per bit, leading zeros dropped
    bool tooLong = false;
    while (DigitValue(cur.Peek()) < base) {
        const int d = DigitValue(cur.Peek());
        for (int b = bitsPerDigit - 1; b >= 0; --b) {
            const char bit = ((d >> b) & 1) ? '1' : '0';
            if (bits.empty() && bit == '0')
                continue;
            if (bits.size() > 1100)
                tooLong = true; // already far above the largest double
            else
                bits.push_back(bit);
        }
        cur.Next();
    }
    if (tooLong)
        return DBL_MAX;
    if (bits.empty())
        return 0.0;
    bits.insert(0, (4 - bits.size() % 4) % 4, '0');
    std::string hex;
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') * 8 + (bits[i + 1] - '0') * 4 + (bits[i + 2] - '0') * 2 +
                           (bits[i + 3] - '0');
        hex.push_back("0123456789abcdef"[nibble]);
    }
    double value = 0.0;
    const auto res =
        std::from_chars(hex.data(), hex.data() + hex.size(), value, std::chars_format::hex);
    if (res.ec == std::errc::result_out_of_range)
        return DBL_MAX;
    return value;
}

// The digits go to from_chars as one exact text in scientific form without a
// point: it rounds correctly and never looks at the locale.
double ReadDecimal(Cursor &cur)
{
    bool negative = false;
    if (cur.Peek() == '+' || cur.Peek() == '-') {
        negative = cur.Peek() == '-';
        cur.Next();
    }
    std::string digits;          // significant digits, leading zeros dropped
    std::int64_t pointShift = 0; // value = 0.<digits> * 10^pointShift
    bool anyDigit = false, sticky = false, seenPoint = false;
    for (;; cur.Next()) {
        const char c = cur.Peek();
        if (c == '.' && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (!IsDigit(c))
            break;
        anyDigit = true;
        if (digits.empty() && c == '0') {
            if (seenPoint)
                --pointShift;
            continue;
        }
        if (!seenPoint)
            ++pointShift;
        if (digits.size() < kMaxDigits)
            digits.push_back(c);
        else if (c != '0')
            sticky = true;
    }
    if (!anyDigit)
        return 0.0;

    std::int64_t exponent = 0;
    const char e = cur.Peek();
    if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
        cur.Next();
        bool expNegative = false;
        if (cur.Peek() == '+' || cur.Peek() == '-') {
            expNegative = cur.Peek() == '-';
            cur.Next();
        }
        for (; IsDigit(cur.Peek()); cur.Next())
            exponent = std::min(exponent * 10 + (cur.Peek() - '0'), kWrittenExponentLimit);
        if (expNegative)
            exponent = -exponent;
    }
    if (digits.empty())
        return 0.0;
    if (sticky)
        digits.push_back('1');

    const std::int64_t scale = std::clamp(pointShift + exponent, -kExponentClamp, kExponentClamp) -
                               static_cast<std::int64_t>(digits.size());
    std::string text = negative ? "-" : "";
    text += digits;
    text += 'e';
    text += std::to_string(scale);

    double value = 0.0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range || std::isinf(value)) {
        // 0.<digits> times a positive power of ten is at least 1: too large.
        if (pointShift + exponent <= 0)
            return 0.0;
        return negative ? -DBL_MAX : DBL_MAX;
    }
    return value;
}

struct Digits {
    std::string digits; // 1 to 15 significant digits, no trailing zeros
    int exponent = 0;   // of the first digit
    bool negative = false;
};

// Rounds to 15 significant digits, as "%.14e" would, but locale-free.
// NaN is written as zero and infinity as the largest double, so a broken
// value never turns into a text that cannot be read back.
Digits SignificantDigits(double value)
{
    if (std::isnan(value))
        value = 0.0;
    else if (std::isinf(value))
        value = std::copysign(DBL_MAX, value);
    Digits out;
    if (value == 0.0) { // "-0" is written as zero
        out.digits.assign(1, '0');
        return out;
    }
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t ePos = text.find('e');
    for (char c : text.substr(0, ePos))
        if (c != '.')
            out.digits.push_back(c);
    while (out.digits.size() > 1 && out.digits.back() == '0')
        out.digits.pop_back();
    const std::string_view expText = text.substr(ePos + 1);
    std::from_chars(expText.data() + (expText[0] == '+' ? 1 : 0), expText.data() + expText.size(),
                    out.exponent);
    out.negative = value < 0;
    return out;
}

// Digits and exponent written out in full, never in exponent form.
std::string Expand(const Digits &d, bool zeroBeforePoint)
{
    std::string out;
    const int count = static_cast<int>(d.digits.size());
    if (d.exponent < 0) {
        if (zeroBeforePoint)
            out += '0';
        out += '.';
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
    } else if (d.exponent + 1 >= count) {
        out = d.digits;
        out.append(static_cast<std::size_t>(d.exponent + 1 - count), '0');
    } else {
        out = d.digits.substr(0, static_cast<std::size_t>(d.exponent + 1));
        out += '.';
        out += d.digits.substr(static_cast<std::size_t>(d.exponent + 1));
    }
    return out;
}

} // namespace

double LeadingNumber(std::string_view text)
{
    Cursor cur(text);
    if (cur.Peek() == '&') {
        cur.Next();
        const char kind = cur.Peek();
        if (kind == 'h' || kind == 'H') {
            cur.Next();
            return ReadBitDigits(cur, 4);
        }
        if (kind == 'o' || kind == 'O') {
            cur.Next();
            return ReadBitDigits(cur, 3);
        }
        return 0.0;
    }
    const double value = ReadDecimal(cur);
    return value == 0.0 ? 0.0 : value; // never hand out a negative zero
}

std::string PlainDecimalText(double value)
{
    const Digits d = SignificantDigits(value);
    std::string text(d.negative ? "-" : "");
    text += Expand(d, true);
    return text;
}

std::string SignedPlaceText(double value)
{
    const Digits d = SignificantDigits(value);
    std::string text(1, d.negative ? '-' : ' ');
    text += Expand(d, false);
    return text;
}
