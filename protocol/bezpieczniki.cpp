#include "protocol/bezpieczniki.h"

namespace ostrel {

namespace {

bool jest(const BitBezpiecznika& b, std::string_view nazwa) {
  return std::string_view(b.nazwa) == nazwa;
}

bool programowany(std::uint8_t wartosc, const BitBezpiecznika& b) {
  return (wartosc >> b.bit & 1u) == 0;  // datasheets count 0 as programmed
}

}  // namespace

int znajdz_bajt_bezpiecznikow(const Uklad& u, std::string_view nazwa) {
  for (std::size_t i = 0; i < u.bezpieczniki.size(); ++i) {
    if (std::string_view(u.bezpieczniki[i].nazwa) == nazwa) return static_cast<int>(i);
  }
  return -1;
}

OcenaBezpiecznika ocen_bezpiecznik(const Uklad& u, std::size_t bajt, std::uint8_t nowa,
                                   std::optional<std::uint8_t> obecna) {
  OcenaBezpiecznika o;
  if (bajt >= u.bezpieczniki.size()) return o;
  const BajtBezpiecznikow& b = u.bezpieczniki[bajt];
  for (const BitBezpiecznika& bit : b.bity) {
    if ((jest(bit, "SPIEN") && !programowany(nowa, bit)) ||
        ((jest(bit, "RSTDISBL") || jest(bit, "DWEN")) && programowany(nowa, bit))) {
      o.konczace.push_back(bit.nazwa);
    }
  }
  // The clock source is chosen by the low fuse byte's CKSEL bits.
  const std::uint8_t maska = u.zegar.maska;
  if (maska == 0 || std::string_view(b.nazwa) != "lfuse") return o;
  const unsigned zrodlo = nowa & maska;
  if (u.zegar.wewnetrzne >> zrodlo & 1u) return o;
  if (obecna && (*obecna & maska) == zrodlo) return o;
  for (const BitBezpiecznika& bit : b.bity) {
    if ((maska >> bit.bit & 1u) == 0) continue;
    if (!obecna || ((*obecna ^ nowa) >> bit.bit & 1u) != 0) o.zegar.push_back(bit.nazwa);
  }
  return o;
}

}  // namespace ostrel
