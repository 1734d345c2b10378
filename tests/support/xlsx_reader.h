// Reads the cells back from a written workbook: the zip entry of the first
// worksheet, inflated with zlib, its cells taken from the XML. Enough to
// check what a spreadsheet program will show; formats are not read.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <utility>

#include "support/datalog_support.h"

namespace eb::test {

inline std::uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
inline std::uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

// The uncompressed contents of a zip entry, found through the central directory.
inline std::optional<std::string> ZipEntry(const std::string& zip, const std::string& name) {
  const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  if (end == std::string::npos || end + 22 > zip.size()) return std::nullopt;
  size_t at = Le32(zip, end + 16);
  const unsigned entries = Le16(zip, end + 10);
  for (unsigned i = 0; i < entries && at + 46 <= zip.size(); ++i) {
    if (Le32(zip, at) != 0x02014b50) return std::nullopt;
    const unsigned method = Le16(zip, at + 10);
    const std::uint32_t packed = Le32(zip, at + 20), size = Le32(zip, at + 24);
    const unsigned nameLen = Le16(zip, at + 28), extraLen = Le16(zip, at + 30),
                   commentLen = Le16(zip, at + 32);
    const std::uint32_t local = Le32(zip, at + 42);
    if (zip.compare(at + 46, nameLen, name) == 0 && nameLen == name.size()) {
      const size_t data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
      if (method == 0) return zip.substr(data, size);
      std::string out(size, '\0');
      z_stream z{};
      if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return std::nullopt;
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
      z.avail_in = packed;
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = size;
      const int rc = inflate(&z, Z_FINISH);
      inflateEnd(&z);
      if (rc != Z_STREAM_END) return std::nullopt;
      return out;
    }
    at += 46 + nameLen + extraLen + commentLen;
  }
  return std::nullopt;
}

inline std::string XmlText(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
      s.replace(at, std::string(from).size(), to);
  }
  return s;
}

// Shown value of every cell of a worksheet (the first unless `entry` names
// another) that holds one, by (row, col).
inline std::map<std::pair<int, int>, std::string> WorkbookCells(
    const std::string& path, const std::string& entry = "xl/worksheets/sheet1.xml") {
  std::map<std::pair<int, int>, std::string> cells;
  const auto xml = ZipEntry(FileBytes(path), entry);
  if (!xml) return cells;
  static const std::regex cell(
      "<c r=\"([A-Z]+[0-9]+)\"[^>]*?(?:/>|>(?:<v>([^<]*)</v>|<is><t[^>]*>([^<]*)</t></is>)?</c>)");
  for (auto it = std::sregex_iterator(xml->begin(), xml->end(), cell); it != std::sregex_iterator();
       ++it) {
    const auto& m = *it;
    if (!m[2].matched && !m[3].matched) continue;  // a formatted blank
    cells[CellAt(m[1])] = XmlText(m[2].matched ? m[2].str() : m[3].str());
  }
  return cells;
}

}  // namespace eb::test
