#include "sim/uklady_stronicowe.h"

#include <algorithm>
#include <cctype>

namespace ostrel::sim {

namespace {

constexpr BitBezpiecznika L(std::uint8_t maska) {
  return {0, maska};
}
constexpr BitBezpiecznika H(std::uint8_t maska) {
  return {1, maska};
}
constexpr BitBezpiecznika kBrak{};

// Datasheet values. Fuse layouts by family:
//  ATtiny13:        low SPIEN EESAVE WDTON CKDIV8 SUT1..0 CKSEL1..0; high (bits 4..0)
//                   SELFPRGEN DWEN BODLEVEL1..0 RSTDISBL
//  ATtiny2313:      high DWEN EESAVE SPIEN WDTON BODLEVEL2..0 RSTDISBL; ext. SELFPRGEN
//  ATtiny25/45/85:  high RSTDISBL DWEN SPIEN WDTON EESAVE BODLEVEL2..0; ext. SELFPRGEN
//  ATmega8/8515/8535: low BODLEVEL BODEN SUT1..0 CKSEL3..0; high RSTDISBL (S8515C,
//                   S8535C) WDTON SPIEN CKOPT EESAVE BOOTSZ1..0 BOOTRST
//  ATmega16/32:     high OCDEN JTAGEN SPIEN CKOPT EESAVE BOOTSZ1..0 BOOTRST
//  ATmega48/88/168: high RSTDISBL DWEN SPIEN WDTON EESAVE BODLEVEL2..0; ext. SELFPRGEN
//                   (48) or BOOTSZ1..0 BOOTRST (88, 168)
//  ATmega328P:      high RSTDISBL DWEN SPIEN WDTON EESAVE BOOTSZ1..0 BOOTRST; ext.
//                   BODLEVEL2..0
//  ATmega162:       high OCDEN JTAGEN SPIEN WDTON EESAVE BOOTSZ1..0 BOOTRST; ext. M161C
//                   BODLEVEL2..0 (bits 4..1)
// The ATtiny13's and ATtiny25/45/85's erase time (4 ms) is from memory; unsure.
// clang-format off
// name, signature, flash, EEPROM, page, factory fuses (low, high, ext.), fuse bits the
// part has, lock bits, SPIEN, RSTDISBL, DWEN, EESAVE, tWD_FLASH, tWD_ERASE
constexpr UkladStronicowy kUkladyStronicowe[] = {
    {"ATtiny13",   {0x1E, 0x90, 0x07},  1024,   64,  32, {0x6A, 0xFF, 0xFF}, {0xFF, 0x1F, 0x00}, 0x03, L(0x80), H(0x01), H(0x08), L(0x40), 4.5, 4.0},
    {"ATtiny2313", {0x1E, 0x91, 0x0A},  2048,  128,  32, {0x64, 0xDF, 0xFF}, {0xFF, 0xFF, 0x01}, 0x03, H(0x20), H(0x01), H(0x80), H(0x40), 4.5, 9.0},
    {"ATtiny25",   {0x1E, 0x91, 0x08},  2048,  128,  32, {0x62, 0xDF, 0xFF}, {0xFF, 0xFF, 0x01}, 0x03, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 4.0},
    {"ATtiny45",   {0x1E, 0x92, 0x06},  4096,  256,  64, {0x62, 0xDF, 0xFF}, {0xFF, 0xFF, 0x01}, 0x03, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 4.0},
    {"ATtiny85",   {0x1E, 0x93, 0x0B},  8192,  512,  64, {0x62, 0xDF, 0xFF}, {0xFF, 0xFF, 0x01}, 0x03, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 4.0},
    {"ATmega8",    {0x1E, 0x93, 0x07},  8192,  512,  64, {0xE1, 0xD9, 0xFF}, {0xFF, 0xFF, 0x00}, 0x3F, H(0x20), H(0x80), kBrak,   H(0x08), 4.5, 9.0},
    {"ATmega16",   {0x1E, 0x94, 0x03}, 16384,  512, 128, {0xE1, 0x99, 0xFF}, {0xFF, 0xFF, 0x00}, 0x3F, H(0x20), kBrak,   kBrak,   H(0x08), 4.5, 9.0},
    {"ATmega32",   {0x1E, 0x95, 0x02}, 32768, 1024, 128, {0xE1, 0x99, 0xFF}, {0xFF, 0xFF, 0x00}, 0x3F, H(0x20), kBrak,   kBrak,   H(0x08), 4.5, 9.0},
    {"ATmega48",   {0x1E, 0x92, 0x05},  4096,  256,  64, {0x62, 0xDF, 0xFF}, {0xFF, 0xFF, 0x01}, 0x03, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 9.0},
    {"ATmega88",   {0x1E, 0x93, 0x0A},  8192,  512,  64, {0x62, 0xDF, 0xF9}, {0xFF, 0xFF, 0x07}, 0x3F, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 9.0},
    {"ATmega168",  {0x1E, 0x94, 0x06}, 16384,  512, 128, {0x62, 0xDF, 0xF9}, {0xFF, 0xFF, 0x07}, 0x3F, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 9.0},
    {"ATmega328P", {0x1E, 0x95, 0x0F}, 32768, 1024, 128, {0x62, 0xD9, 0xFF}, {0xFF, 0xFF, 0x07}, 0x3F, H(0x20), H(0x80), H(0x40), H(0x08), 4.5, 9.0},
    {"ATmega8515", {0x1E, 0x93, 0x06},  8192,  512,  64, {0xE1, 0xD9, 0xFF}, {0xFF, 0xFF, 0x00}, 0x3F, H(0x20), kBrak,   kBrak,   H(0x08), 4.5, 9.0},
    {"ATmega8535", {0x1E, 0x93, 0x08},  8192,  512,  64, {0xE1, 0xD9, 0xFF}, {0xFF, 0xFF, 0x00}, 0x3F, H(0x20), kBrak,   kBrak,   H(0x08), 4.5, 9.0},
    {"ATmega162",  {0x1E, 0x94, 0x04}, 16384,  512, 128, {0x62, 0x99, 0xFF}, {0xFF, 0xFF, 0x1E}, 0x3F, H(0x20), kBrak,   kBrak,   H(0x08), 4.5, 9.0},
};
// clang-format on

bool rowne_bez_wielkosci(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// The AT90S parts, ATtiny12/15, ATmega103/128 and the AT89S8252/53 (byte mode but for
// the two ATmega), then the page-mode parts of the 3.x versions: ATtiny85 (0x1C, sent
// as one Programming Enable by 'P'), ATtiny2313 (0x23), ATmega8515, ATmega64,
// ATmega161, ATmega162, ATmega163, ATmega8535, ATmega32, ATmega16, ATmega8, ATmega169.
// The ATmega48/88/168/328P, ATtiny13 and ATtiny25/45 have no code of their own.
const std::array<KodFirmware, 28> kKodyFirmware = {{
    {0x13, 0},   {0x20, 0},   {0x28, 0},  {0x30, 0},   {0x34, 0},   {0x38, 0},   {0x48, 0},
    {0x4C, 0},   {0x56, 0},   {0x5C, 0},  {0x68, 0},   {0x6C, 0},   {0x41, 256}, {0x43, 256},
    {0x86, 0},   {0x87, 0},   {0x1C, 64}, {0x23, 32},  {0x3A, 64},  {0x45, 256}, {0x60, 128},
    {0x63, 128}, {0x64, 128}, {0x69, 64}, {0x72, 128}, {0x74, 128}, {0x76, 64},  {0x78, 128},
}};

std::uint16_t strona_kodu(std::uint8_t kod) {
  for (const KodFirmware& k : kKodyFirmware) {
    if (k.kod == kod) return k.strona;
  }
  return 0;
}

const UkladStronicowy* znajdz_uklad_stronicowy(std::string_view nazwa) {
  for (const UkladStronicowy& u : kUkladyStronicowe) {
    if (rowne_bez_wielkosci(u.nazwa, nazwa)) return &u;
  }
  return nullptr;
}

std::string nazwy_ukladow_stronicowych() {
  std::string wynik;
  for (const UkladStronicowy& u : kUkladyStronicowe) {
    if (!wynik.empty()) wynik += ", ";
    wynik += u.nazwa;
  }
  return wynik;
}

}  // namespace ostrel::sim
