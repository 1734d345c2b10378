// State variables by name, as operator scripts and tests print them.
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

#include "protocol/json.h"
#include "window/form1.h"

namespace eb {

namespace {

std::string Num(long v) { return std::to_string(v); }

std::string Num(float v) { return JsonNumber(v); }

std::string Val(I16 v) { return Num(static_cast<long>(v)); }
std::string Val(std::uint32_t v) { return Num(static_cast<long>(v)); }
std::string Val(bool v) { return v ? "true" : "false"; }
std::string Val(std::uint8_t v) { return Num(static_cast<long>(v)); }
std::string Val(float v) { return Num(v); }
std::string Val(const std::string& v) { return JsonString(v); }

template <typename Array>
std::string ListOf(const Array& a) {
  std::string s = "[";
  bool first = true;
  for (const auto& v : a) {
    if (!first) s += ",";
    s += Val(v);
    first = false;
  }
  return s + "]";
}

// Getter: (form, first index, second index) → JSON value, nullopt for a bad index.
using Getter =
    std::function<std::optional<std::string>(const Form1&, std::optional<int>, std::optional<int>)>;

template <typename T>
Getter Scalar(T Form1::*member) {
  return [member](const Form1& f, std::optional<int> i,
                  std::optional<int>) -> std::optional<std::string> {
    if (i) return std::nullopt;
    return Val(f.*member);
  };
}

template <typename Array>
Getter OneD(Array Form1::*member) {
  return [member](const Form1& f, std::optional<int> i,
                  std::optional<int> j) -> std::optional<std::string> {
    const Array& a = f.*member;
    if (j) return std::nullopt;
    if (!i) return ListOf(a);
    if (*i < 0 || *i >= static_cast<int>(a.size())) return std::nullopt;
    return Val(a[static_cast<size_t>(*i)]);
  };
}

// Per-board arrays of arrays: first index the board.
template <typename Outer>
Getter BoardMajor(Outer Form1::*member) {
  return [member](const Form1& f, std::optional<int> i,
                  std::optional<int> j) -> std::optional<std::string> {
    const Outer& a = f.*member;
    if (!i) {
      std::string s = "[";
      for (size_t b = 0; b < a.size(); ++b) s += (b ? "," : "") + ListOf(a[b]);
      return s + "]";
    }
    if (*i < 0 || *i >= static_cast<int>(a.size())) return std::nullopt;
    const auto& row = a[static_cast<size_t>(*i)];
    if (!j) return ListOf(row);
    if (*j < 0 || *j >= static_cast<int>(row.size())) return std::nullopt;
    return Val(row[static_cast<size_t>(*j)]);
  };
}

// Register images are stored [byte][board]; they are printed board first.
template <std::size_t N>
Getter Image(std::array<PerBoard<std::uint8_t>, N> Form1::*member) {
  return [member](const Form1& f, std::optional<int> i,
                  std::optional<int> j) -> std::optional<std::string> {
    const auto& img = f.*member;
    auto boardBytes = [&img](int b) {
      std::array<std::uint8_t, N> bytes{};
      for (std::size_t k = 0; k < N; ++k) bytes[k] = img[k][static_cast<size_t>(b)];
      return bytes;
    };
    if (!i) {
      std::string s = "[";
      for (int b = 0; b < kBoards; ++b) s += (b ? "," : "") + ListOf(boardBytes(b));
      return s + "]";
    }
    if (*i < 0 || *i >= kBoards) return std::nullopt;
    if (!j) return ListOf(boardBytes(*i));
    if (*j < 0 || *j >= static_cast<int>(N)) return std::nullopt;
    return Val(img[static_cast<size_t>(*j)][static_cast<size_t>(*i)]);
  };
}

Getter Buffer(ReplyBuffer Form1::*member) {
  return [member](const Form1& f, std::optional<int> i,
                  std::optional<int>) -> std::optional<std::string> {
    if (i) return std::nullopt;
    const auto& buf = (f.*member).text;
    std::string s;
    for (char c : buf) s += (c >= 0x20 && c < 0x7F) ? c : '.';
    return JsonString(s);
  };
}

// One table, a row per state variable: split, it would only read worse.
// NOLINTNEXTLINE(readability-function-size)
const std::map<std::string, Getter>& Table() {
  static const std::map<std::string, Getter> table = [] {
    std::map<std::string, Getter> t;
#define EB_SCALAR(n) t[#n] = Scalar(&Form1::n)
#define EB_ARRAY(n) t[#n] = OneD(&Form1::n)
    EB_SCALAR(Initialize);
    EB_SCALAR(POLLflag);
    EB_SCALAR(STBYflag);
    EB_SCALAR(IDreply);
    EB_SCALAR(BRDnumber);
    EB_SCALAR(BRDread);
    EB_SCALAR(CARDSTACK);
    EB_SCALAR(OnOff);
    EB_ARRAY(BRDaddress);
    EB_ARRAY(CFGR0);
    EB_ARRAY(CFGR1);
    EB_ARRAY(CFGR2);
    EB_ARRAY(CFGR3);
    EB_ARRAY(CFGR4);
    EB_ARRAY(CFGR5);
    EB_ARRAY(CFGR0wr);
    EB_ARRAY(CFGR1wr);
    EB_ARRAY(CFGR2wr);
    EB_ARRAY(CFGR3wr);
    EB_ARRAY(CFGR4wr);
    EB_ARRAY(CFGR5wr);
    EB_ARRAY(CFGR0rd);
    EB_ARRAY(CFGR1rd);
    EB_ARRAY(CFGR2rd);
    EB_ARRAY(CFGR3rd);
    EB_ARRAY(CFGR4rd);
    EB_ARRAY(CFGR5rd);
    EB_ARRAY(CFGR0Hnib);
    EB_ARRAY(CFGR0Lnib);
    EB_ARRAY(CDCreg);
    EB_ARRAY(VUVreg);
    EB_ARRAY(VOVreg);
    EB_ARRAY(VUVread);
    EB_ARRAY(VOVread);
    EB_SCALAR(GLOBALCFGRflag);
    EB_SCALAR(WRCFGBLINKflag);
    EB_SCALAR(RDCFGflag);
    EB_ARRAY(BCASTflag_PLADC);
    EB_ARRAY(BCASTflag_PLINT);
    EB_ARRAY(BCASTflag_STCVAD);
    EB_ARRAY(BCASTflag_STOWAD);
    EB_ARRAY(BCASTflag_STTMPAD);
    EB_ARRAY(BCASTflag_STCVDC);
    EB_ARRAY(BCASTflag_STOWDC);
    EB_ARRAY(BCASTflag_WRCFG);
    EB_ARRAY(PECtable);
    t["CFGRbyte"] = Image(&Form1::CFGRbyte);
    t["CVRbyte"] = Image(&Form1::CVRbyte);
    t["FLGRbyte"] = Image(&Form1::FLGRbyte);
    t["TMPRbyte"] = Image(&Form1::TMPRbyte);
    EB_ARRAY(PECchip_RDCFG);
    EB_ARRAY(PECcalc_RDCFG);
    EB_ARRAY(PECchip_RDCV);
    EB_ARRAY(PECcalc_RDCV);
    EB_ARRAY(PECchip_RDFLG);
    EB_ARRAY(PECcalc_RDFLG);
    EB_ARRAY(PECchip_RDTMP);
    EB_ARRAY(PECcalc_RDTMP);
    EB_ARRAY(CFGRbad);
    EB_ARRAY(CVRbad);
    EB_ARRAY(FLGRbad);
    EB_ARRAY(TMPRbad);
    EB_ARRAY(CELLhex);
    EB_ARRAY(CELLvolt);
    EB_ARRAY(CELLstatus);
    t["DCCmark"] = BoardMajor(&Form1::DCCmark);
    t["MCImark"] = BoardMajor(&Form1::MCImark);
    EB_ARRAY(FLGR0rd);
    EB_ARRAY(FLGR1rd);
    EB_ARRAY(FLGR2rd);
    EB_ARRAY(THSDbit);
    EB_ARRAY(THSDset);
    EB_ARRAY(REVcode);
    EB_SCALAR(THSDhold);
    EB_SCALAR(PEC_RDCFG);
    EB_SCALAR(PEC_RDCV);
    EB_SCALAR(PEC_RDFLG);
    EB_SCALAR(PEC_RDTMP);
    EB_SCALAR(AUTORESTARTflag);
    EB_SCALAR(SINGLESHOTflag);
    EB_SCALAR(PECflag);
    EB_SCALAR(MEASURESKIPflag);
    EB_ARRAY(PECstatus);
    EB_ARRAY(RDCFGvalid);
    EB_ARRAY(RDCVvalid);
    EB_ARRAY(RDCFGanswer);
    EB_ARRAY(RDCVanswer);
    EB_ARRAY(RDFLGanswer);
    EB_ARRAY(RDTMPanswer);
    EB_ARRAY(RDTMPvalid);
    EB_SCALAR(MEASUREflag);
    EB_SCALAR(DATACOLLECTflag);
    EB_SCALAR(COUNTERstop);
    EB_SCALAR(VIEWCAPTUREflag);
    EB_SCALAR(CYCLEflag);
    EB_SCALAR(DATApoint);
    EB_SCALAR(SETpoint);
    EB_SCALAR(SELFTEST_Lnib);
    EB_SCALAR(SINGLECELL_Lnib);
    EB_SCALAR(SINGLETEMP_Lnib);
    EB_SCALAR(SELFTESTflag);
    EB_SCALAR(SELFTESTTMPflag);
    EB_SCALAR(SINGLEcellADDRmode);
    EB_SCALAR(CELLSTATUSclearflag);
    EB_SCALAR(RDCFGmode);
    EB_SCALAR(RDCVmode);
    EB_SCALAR(RDTMPmode);
    EB_SCALAR(TABblink);
    EB_SCALAR(TabBlinkState);
    EB_ARRAY(TABmark);
    EB_ARRAY(RDCVmark);
    EB_ARRAY(RDTMPmark);
    EB_ARRAY(RDCFGmark);
    EB_SCALAR(SAMPLEtime);
    EB_SCALAR(SAMPLEpoints);
    EB_SCALAR(VIEWtime);
    EB_SCALAR(VIEWpoints);
    EB_SCALAR(NewFile);
    EB_SCALAR(LastDATAlog);
    EB_SCALAR(DSETUPstamp);
    EB_SCALAR(DCURRENTstamp);
    EB_SCALAR(DLASTstamp);
    EB_SCALAR(CSVflag);
#undef EB_SCALAR
#undef EB_ARRAY
    t["RDCFGreply"] = Buffer(&Form1::RDCFGreply);
    t["RDCVreply"] = Buffer(&Form1::RDCVreply);
    t["RDFLGreply"] = Buffer(&Form1::RDFLGreply);
    t["RDTMPreply"] = Buffer(&Form1::RDTMPreply);
    return t;
  }();
  return table;
}

}  // namespace

std::optional<std::string> Form1::StateJson(const std::string& name, std::optional<int> i,
                                            std::optional<int> j) const {
  auto it = Table().find(name);
  if (it == Table().end()) return std::nullopt;
  return it->second(*this, i, j);
}

std::vector<std::string> Form1::StateNames() const {
  std::vector<std::string> names;
  for (const auto& [name, getter] : Table()) names.push_back(name);
  return names;
}

}  // namespace eb
