// The dialog's lock and fuse bytes from the part's row.
#include "protocol/bity_blokady.h"

namespace ostrel {

namespace {

void ustaw_bit(std::uint8_t& v, int n, bool jedynka) {
  if (jedynka) {
    v = static_cast<std::uint8_t>(v | (1u << n));
  } else {
    v = static_cast<std::uint8_t>(v & ~(1u << n));
  }
}

}  // namespace

bool tryb_par16(std::uint8_t odpowiedz_p) {
  return odpowiedz_p == 'P';
}

const TrybBlokady* tryb_blokady(const Uklad& u, int tryb) {
  if (u.tryby == nullptr || tryb < 0 || static_cast<std::size_t>(tryb) >= u.tryby->tryby.size())
    return nullptr;
  return &u.tryby->tryby[static_cast<std::size_t>(tryb)];
}

int tryb_z_F(const TrybyBlokady& t, std::uint8_t f) {
  for (std::size_t i = 0; i < t.tryby.size(); ++i) {
    if ((f & t.maska_F) == t.tryby[i].wzor_F) return static_cast<int>(i);
  }
  return -1;
}

int tryb_z_F(const Uklad& u, std::uint8_t f) {
  return u.tryby == nullptr ? -1 : tryb_z_F(*u.tryby, f);
}

std::uint8_t fuse_po_kliknieciu(const Uklad& u, int ktory, bool zaznaczone, std::uint8_t fuse) {
  const PoleBezpiecznika pole = u.pole(ktory);
  if (u.odczyt_F == OdczytF::brak || pole.bit < 0) return 0xFF;
  ustaw_bit(fuse, pole.bit, !zaznaczone);
  return fuse;
}

std::uint8_t fuse_z_pol(const Uklad& u, const std::array<bool, 2>& zaznaczone) {
  std::uint8_t f = 0xFF;
  if (u.odczyt_F == OdczytF::brak) return f;
  for (int ktory = 1; ktory <= 2; ++ktory) {
    const PoleBezpiecznika pole = u.pole(ktory);
    if (pole.bit >= 0 && zaznaczone[static_cast<std::size_t>(ktory - 1)])
      ustaw_bit(f, pole.bit, false);
  }
  return f;
}

PolaBezpiecznikow pola_po_odczycie(const Uklad& u, std::optional<std::uint8_t> f,
                                   PolaBezpiecznikow przed) {
  PolaBezpiecznikow p = przed;
  if (!f) {
    p.fuse = fuse_z_pol(u, p.zaznaczone);
    return p;
  }
  p.fuse = 0xFF;
  if (u.odczyt_F == OdczytF::brak) return p;
  for (int ktory = 1; ktory <= 2; ++ktory) {
    const PoleBezpiecznika pole = u.pole(ktory);
    if (pole.bit < 0) continue;
    const bool zaprogramowany = ((*f >> pole.bit) & 1) == 0;
    p.zaznaczone[static_cast<std::size_t>(ktory - 1)] = zaprogramowany;
    if (zaprogramowany) ustaw_bit(p.fuse, pole.bit, false);
  }
  return p;
}

PolaBezpiecznikow zaznacz_pole(const Uklad& u, PolaBezpiecznikow p, int ktory, bool zaznaczone) {
  bool& pole = p.zaznaczone[static_cast<std::size_t>(ktory == 1 ? 0 : 1)];
  if (pole == zaznaczone) return p;
  pole = zaznaczone;
  p.fuse = fuse_po_kliknieciu(u, ktory, zaznaczone, p.fuse);
  return p;
}

std::optional<std::uint8_t> fuse_do_zapisu(std::uint8_t fuse, bool par16) {
  return par16 ? std::optional<std::uint8_t>(fuse) : std::nullopt;
}

}  // namespace ostrel
