// Cutting register replies into per-board images and computing their PECs.
#include <span>

#include "protocol/pec.h"
#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

template <int N>
void StoreCut(const ReplyBuffer& reply, RegisterImage<N>& image, PerBoard<std::uint32_t>& bad,
              BoardFlags& pecChip, int b) {
  CutReply cut = CutRegisterReply(reply.data(), N, reply.delivered);
  auto i = static_cast<size_t>(b);
  for (int k = 0; k < N; ++k) image[static_cast<size_t>(k)][i] = cut.bytes[static_cast<size_t>(k)];
  bad[i] = cut.bad;
  pecChip[i] = static_cast<I16>(cut.pec);
}

template <int N>
void StorePec(const PecTable& table, const RegisterImage<N>& image, BoardFlags& pecCalc, int b) {
  std::array<std::uint8_t, N> bytes{};
  for (int k = 0; k < N; ++k)
    bytes[static_cast<size_t>(k)] = image[static_cast<size_t>(k)][static_cast<size_t>(b)];
  pecCalc[static_cast<size_t>(b)] = PecOf(table, bytes);
}

}  // namespace

void Form1::PECload() { PECtable = MakePecTable(); }

void Form1::PEC_Create_CFGRbyte_array_ADDR_RevC() {
  StoreCut<kCfgBytes>(RDCFGreply, CFGRbyte, CFGRbad, PECchip_RDCFG, BRDnumber);
}
void Form1::PEC_Create_CVRbyte_array_ADDR_RevC() {
  StoreCut<kCvBytes>(RDCVreply, CVRbyte, CVRbad, PECchip_RDCV, ReadBoard());
}
void Form1::PEC_Create_FLGRbyte_array_ADDR_RevC() {
  StoreCut<kFlgBytes>(RDFLGreply, FLGRbyte, FLGRbad, PECchip_RDFLG, ReadBoard());
}
void Form1::PEC_Create_TMPRbyte_array_ADDR_RevC() {
  StoreCut<kTmpBytes>(RDTMPreply, TMPRbyte, TMPRbad, PECchip_RDTMP, ReadBoard());
}

void Form1::PEC_GUI_RDCFG_Calc_ADDR_RevC() {
  StorePec<kCfgBytes>(PECtable, CFGRbyte, PECcalc_RDCFG, BRDnumber);
}
void Form1::PEC_GUI_RDCV_Calc_ADDR_RevC() {
  StorePec<kCvBytes>(PECtable, CVRbyte, PECcalc_RDCV, ReadBoard());
}
void Form1::PEC_GUI_RDFLG_Calc_ADDR_RevC() {
  StorePec<kFlgBytes>(PECtable, FLGRbyte, PECcalc_RDFLG, ReadBoard());
}
void Form1::PEC_GUI_RDTMP_Calc_ADDR_RevC() {
  StorePec<kTmpBytes>(PECtable, TMPRbyte, PECcalc_RDTMP, ReadBoard());
}

}  // namespace eb
