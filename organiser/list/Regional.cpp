#include "Regional.h"

#include <cstdio>
#include <ctime>

namespace kelvark {

std::chrono::year_month_day Regional::LocalToday()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                       std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                       std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
}

std::string Regional::LocalTimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[8];
    std::snprintf(time, sizeof time, "%02d:%02d", local.tm_hour % 100, local.tm_min % 100);
    return time;
}

std::string IsoDate(const std::chrono::year_month_day& day)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()));
    return date;
}

std::string Grouped(std::int64_t whole, const std::string& separator)
{
    std::string digits = std::to_string(whole);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), separator);
    return digits;
}

} // namespace kelvark
