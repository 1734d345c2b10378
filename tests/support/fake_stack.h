// A scripted stack behind the fake bridge: answers identify and the four
// register reads of each board from byte images the test sets, with a
// correct PEC unless told otherwise.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "protocol/hex.h"
#include "protocol/pec.h"
#include "support/fakes.h"

namespace eb::test {

struct FakeBoard {
  std::vector<int> cfg{0xE1, 0, 0, 0, 0, 0};  // CDC 1: the board counts as present
  std::vector<int> cv = std::vector<int>(18, 0);
  std::vector<int> flg{0, 0, 0};
  std::vector<int> tmp{0, 0, 0, 0, 0};
  bool missing = false;
  bool zeros = false;
  int badPecReads = 0;  // the next reads of any kind carry a wrong PEC
};

class FakeStack {
 public:
  FakeBridge bridge;
  std::map<std::string, FakeBoard> boards;  // by address text "80" …
  std::string identity = "ZQM4417-2 FAKE";
  // Replaces the reply text of the next read (any kind) when not empty.
  std::vector<std::string> cannedReplies;

  FakeStack() {
    bridge.responder = [this](const std::string& cmd) { return Answer(cmd); };
  }

  // Sets cell c (1 … 12) of a board to a 12-bit count.
  static void SetCell(FakeBoard& b, int cell, int count) {
    int p = (cell - 1) / 2;
    int base = 3 * p;
    if (cell % 2 == 1) {
      b.cv[static_cast<size_t>(base)] = count & 0xFF;
      b.cv[static_cast<size_t>(base + 1)] =
          (b.cv[static_cast<size_t>(base + 1)] & 0xF0) | ((count >> 8) & 0x0F);
    } else {
      b.cv[static_cast<size_t>(base + 1)] =
          (b.cv[static_cast<size_t>(base + 1)] & 0x0F) | ((count & 0x0F) << 4);
      b.cv[static_cast<size_t>(base + 2)] = (count >> 4) & 0xFF;
    }
  }

  static std::string Encode(const std::vector<int>& bytes, bool wrongPec) {
    static const PecTable table = MakePecTable();
    std::vector<std::uint8_t> raw(bytes.begin(), bytes.end());
    int pec = PecOf(table, raw);
    if (wrongPec) pec ^= 0x5A;
    std::string s = "FFFF";
    for (int b : bytes) s += ByteHex(b);
    return s + ByteHex(pec);
  }

  std::string Answer(const std::string& cmd) {
    if (cmd == "IZ") return identity;
    if (cmd.rfind("MSxT8", 0) != 0 || cmd.size() < 9) return "";
    if (!cannedReplies.empty()) {
      std::string r = cannedReplies.front();
      cannedReplies.erase(cannedReplies.begin());
      return r;
    }
    std::string address = cmd.substr(4, 2);
    std::string command = cmd.substr(7, 2);
    int n = command == "02"   ? 6
            : command == "04" ? 18
            : command == "06" ? 3
            : command == "08" ? 5
                              : -1;
    if (n < 0) return "";
    auto it = boards.find(address);
    if (it == boards.end() || it->second.missing) return "FFFF" + std::string(2 * (n + 1), 'F');
    FakeBoard& b = it->second;
    if (b.zeros) return "FFFF" + std::string(2 * (n + 1), '0');
    const std::vector<int>& bytes = command == "02"   ? b.cfg
                                    : command == "04" ? b.cv
                                    : command == "06" ? b.flg
                                                      : b.tmp;
    bool wrong = b.badPecReads > 0;
    if (wrong) --b.badPecReads;
    return Encode(bytes, wrong);
  }

  // Command strings written that start with `prefix`.
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& w : bridge.writes) n += w.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

}  // namespace eb::test
