#include "core/FileNameCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tam {

namespace {

constexpr float integerLimit = 1.0e9f; // keeps absurd inputs inside the integer range
constexpr double checksumScale = 10000000.0;
constexpr std::int64_t checksumCountWeight = 10000;
constexpr int maxNameIndex = maxFileNameLength - 2; // highest n
constexpr unsigned char spaceCode = 32;
constexpr unsigned char blankCode = 255;

std::int64_t roundedChecksum(float v)
{
    // Rounded to nearest, ties to even (the default rounding mode).
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(v) * checksumScale));
}

} // namespace

std::array<float, fileNameValueCount> fileNameToValues(const std::string& name)
{
    std::array<float, fileNameValueCount> values{};
    const std::size_t length = name.size();
    // The name is followed by a space and then a zero byte.
    const auto codeAt = [&](std::size_t index) -> int
    {
        if (index < length)
            return static_cast<unsigned char>(name[index]);
        return index == length ? spaceCode : 0;
    };
    // n = length - 1 at most 252; an empty name still yields value 0, as
    // -1 / 2 truncates to 0.
    const long long n = std::min(static_cast<long long>(length) - 1, static_cast<long long>(maxNameIndex));
    for (long long i = 0; i <= n / 2; ++i)
    {
        const auto first = static_cast<std::size_t>(2 * i);
        values[static_cast<std::size_t>(i)] = static_cast<float>(codeAt(first) * 256 + codeAt(first + 1)) / 65536.0f;
    }
    return values;
}

std::array<char, 2> valueToChars(float v)
{
    float scaled = v * 65536.0f;
    if (std::isnan(scaled))
        scaled = 0.0f;
    const long long w = std::llrint(std::fmax(std::fmin(scaled, integerLimit), -integerLimit));
    const long long codes[2] = {(w / 256) % 256, w % 256};
    std::array<char, 2> chars{};
    for (int i = 0; i < 2; ++i)
    {
        const long long code = codes[i];
        chars[static_cast<std::size_t>(i)] =
            (code <= spaceCode || code == blankCode) ? ' ' : static_cast<char>(static_cast<unsigned char>(code));
    }
    return chars;
}

float fileNameChecksum(const std::string& name)
{
    std::int64_t s = 1;
    std::int64_t c = 0;
    for (const char ch : name)
    {
        const auto code = static_cast<unsigned char>(ch);
        if (code == spaceCode)
            continue;
        s += code + 1;
        c += 1;
    }
    return static_cast<float>(static_cast<double>(s + c * checksumCountWeight) / checksumScale);
}

bool checksumMatches(const std::string& name, float v)
{
    // Anything that cannot be a checksum (NaN, infinite, far out of range)
    // never matches, instead of meeting an undefined conversion.
    if (!(std::fabs(v) < 1.0e11f))
        return false;
    return roundedChecksum(fileNameChecksum(name)) == roundedChecksum(v);
}

} // namespace tam
