#include "SetLetters.h"

namespace kelvark {

std::string SetLetters(int n, bool lowerCase)
{
    // Bijective base 26: 0 -> A, 25 -> Z, 26 -> AA, 701 -> ZZ, 702 -> AAA.
    const char first = lowerCase ? 'a' : 'A';
    std::string letters;
    for (long long v = static_cast<long long>(n) + 1; v > 0; v = (v - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>(first + (v - 1) % 26));
    return letters;
}

int SetNumber(std::string_view letters)
{
    constexpr long long Beyond = 1LL << 30; // more sets than any plan makes
    long long v = 0;
    for (const char c : letters) {
        if (c < 'A' || c > 'Z' || v > Beyond)
            return -1;
        v = v * 26 + (c - 'A' + 1);
    }
    return letters.empty() || v > Beyond ? -1 : static_cast<int>(v - 1);
}

} // namespace kelvark
