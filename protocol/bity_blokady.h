// The lock and fuse bytes the dialog writes with 'l' and 'f': the lock mode's byte, the
// fuse boxes by the row's bits, and whether the fuse byte goes out at all. Both front
// ends compute them here, so that a write from the command line is the dialog's write.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "devices/uklady.h"

namespace ostrel {

// The two fuse boxes and the fuse byte they stand for.
struct PolaBezpiecznikow {
  std::array<bool, 2> zaznaczone{};  // box 1, box 2: ticked = the fuse programmed
  std::uint8_t fuse = 0xFF;
};

// The programmer's mode by its answer to 'p' in which the fuse byte is written ("Tryb
// PAR16"); in the others the fuse boxes change nothing on the chip.
bool tryb_par16(std::uint8_t odpowiedz_p);

// Lock mode `tryb` of the row, or null outside its list.
const TrybBlokady* tryb_blokady(const Uklad& u, int tryb);

// The mode whose lock bits the 'F' answer shows, or -1 when none has that pattern.
int tryb_z_F(const TrybyBlokady& t, std::uint8_t f);
int tryb_z_F(const Uklad& u, std::uint8_t f);

// The fuse byte after box `ktory` (1 or 2) was changed to `zaznaczone`: its bit of the
// row set to 0 when ticked; a box without a bit, or a row whose bits are not read, takes
// the byte back to unprogrammed (0xFF).
std::uint8_t fuse_po_kliknieciu(const Uklad& u, int ktory, bool zaznaczone, std::uint8_t fuse);

// The fuse byte as the boxes stand.
std::uint8_t fuse_z_pol(const Uklad& u, const std::array<bool, 2>& zaznaczone);

// The boxes after a read: from the 'F' answer by the row's bits (a box without a bit
// keeps its state), the byte unprogrammed for a row whose bits 'F' does not give; with
// no answer (a type that does not read them) the boxes stay and the byte is theirs.
PolaBezpiecznikow pola_po_odczycie(const Uklad& u, std::optional<std::uint8_t> f,
                                   PolaBezpiecznikow przed = {});

// Box `ktory` set to `zaznaczone` as the operator ticks it: nothing changes when it
// already is.
PolaBezpiecznikow zaznacz_pole(const Uklad& u, PolaBezpiecznikow p, int ktory, bool zaznaczone);

// The fuse byte the dialog's write sends with the lock byte: only in "Tryb PAR16".
std::optional<std::uint8_t> fuse_do_zapisu(std::uint8_t fuse, bool par16);

}  // namespace ostrel
