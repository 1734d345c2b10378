// Time stamps on a 12-hour clock. AM/PM is spelled out here rather than taken
// from the C library's locale, which the front end may have switched to one
// without an AM/PM marker.
#include "sheet/stamps.h"

#include <cstdio>
#include <ctime>

namespace eb::datalog {

namespace {

struct Parts {
  int month, day, year, hour12, minute, second;
  const char* half;
};

Parts Split(std::chrono::system_clock::time_point t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  const int h = tm.tm_hour % 12;
  return {tm.tm_mon + 1,
          tm.tm_mday,
          tm.tm_year + 1900,
          h == 0 ? 12 : h,
          tm.tm_min,
          tm.tm_sec,
          tm.tm_hour < 12 ? "AM" : "PM"};
}

}  // namespace

std::string ClockStamp(std::chrono::system_clock::time_point t) {
  const Parts p = Split(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d %s @ %02d-%02d-%04d", p.hour12, p.minute, p.second,
                p.half, p.month, p.day, p.year);
  return buf;
}

std::string FileStamp(std::chrono::system_clock::time_point t) {
  const Parts p = Split(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d_%02d_%02d_%02d %s", p.month, p.day, p.year,
                p.hour12, p.minute, p.second, p.half);
  return buf;
}

std::string IsoStamp(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(t.time_since_epoch());
  const auto whole = floor<seconds>(ms);
  const int millis = static_cast<int>((ms - whole).count());
  const std::time_t secs = static_cast<std::time_t>(whole.count());
  std::tm tm{};
  localtime_r(&secs, &tm);
  const long offset = tm.tm_gmtoff / 60;  // minutes east of UTC
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                millis, offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60,
                (offset < 0 ? -offset : offset) % 60);
  return buf;
}

}  // namespace eb::datalog
