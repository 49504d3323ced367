// The number rule of the export against a plain reading of it: blanks
// (space, tab, line feed) dropped anywhere, then the longest prefix of the
// form sign, digits, "." digits, exponent, read by the C library.

#include "check.h"
#include "worldwind/links.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number the rule reads, as text; empty when the text does not begin with one.
std::string numberPrefix(const std::string& s)
{
    size_t i = 0;
    std::string out;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        out += s[i++];
    bool mantissa = false;
    while (i < s.size() && isDigit(s[i])) {
        out += s[i++];
        mantissa = true;
    }
    if (i + 1 < s.size() && s[i] == '.' && isDigit(s[i + 1])) {
        out += s[i++];
        while (i < s.size() && isDigit(s[i])) {
            out += s[i++];
            mantissa = true;
        }
    }
    if (!mantissa)
        return {};
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t k = i + 1;
        std::string exponent = "e";
        if (k < s.size() && (s[k] == '+' || s[k] == '-'))
            exponent += s[k++];
        if (k < s.size() && isDigit(s[k])) {
            while (k < s.size() && isDigit(s[k]))
                exponent += s[k++];
            out += exponent;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const float value = links::readNumber(text);
    FUZZ_CHECK(std::isfinite(value));
    // The quick path for plain numbers and the general one agree.
    FUZZ_CHECK(links::readNumber(u' ' + text) == value);

    std::string compact;
    for (uint8_t c : std::string_view(reinterpret_cast<const char*>(data), size))
        if (c != ' ' && c != '\t' && c != '\n')
            compact += char(c);
    const std::string number = numberPrefix(compact);
    if (number.empty()) {
        FUZZ_CHECK(value == 0.0f);
        return 0;
    }
    errno = 0;
    const float expected = std::strtof(number.c_str(), nullptr);
    // Beyond the range of a float the rule gives 0; values at its very edge
    // (subnormal) are not compared.
    if (errno == ERANGE || std::isinf(expected))
        FUZZ_CHECK(value == 0.0f || std::fpclassify(value) == FP_SUBNORMAL || std::fabs(value) <= 1.2e-38f);
    else
        FUZZ_CHECK(value == expected);
    return 0;
}
