// Local-time stamps of the datalog.
#pragma once

#include <chrono>
#include <string>

namespace eb::datalog {

// "hh:mm:ss AM/PM @ mm-dd-yyyy", e.g. "03:15:42 PM @ 12-08-2026".
std::string ClockStamp(std::chrono::system_clock::time_point t);

// The same instant for a file name: "mm-dd-yyyy_hh_mm_ss AM/PM",
// e.g. "12-08-2026_03_15_42 PM".
std::string FileStamp(std::chrono::system_clock::time_point t);

// ISO 8601 local time with milliseconds and the offset from UTC,
// e.g. "2026-12-08T15:15:42.125+01:00".
std::string IsoStamp(std::chrono::system_clock::time_point t);

}  // namespace eb::datalog
