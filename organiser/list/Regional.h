#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace kelvark {

// The user's regional settings and the clock, handed to the core so that the
// grid's numbers and the reports' dates are deterministic under test.
struct Regional {
    std::string decimalSeparator = ".";
    std::string groupSeparator = ",";
    std::string dateSeparator = "/";
    std::function<std::chrono::year_month_day()> today = LocalToday;
    // The time of day, "13:05", which a disc's label gives its sort.
    std::function<std::string()> timeOfDay = LocalTimeOfDay;

    // Today's date in the local time zone.
    static std::chrono::year_month_day LocalToday();
    // The local time of day in hours and minutes, "13:05".
    static std::string LocalTimeOfDay();
};

// A day as the reports and the catalogue write it: "2026-12-10".
std::string IsoDate(const std::chrono::year_month_day& day);

// A group separator every three digits of a whole number: "4,512".
std::string Grouped(std::int64_t whole, const std::string& separator);

} // namespace kelvark
