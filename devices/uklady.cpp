#include "devices/uklady.h"

#include <cctype>
#include <string>

namespace ostrel {

namespace {

// Parts with two lock bits: bits 2..1 of the byte written, bits 7..6 of the 'F' answer.
constexpr TrybBlokady kTryby3[] = {
    {"B1 [  ] ; B2 [  ]", "zapis i odczyt możliwy", 255, 0xC0},
    {"B1 [ x ] ;  B2 [  ]", "blokada zapisu", 253, 0x40},
    {"B1 [ x ] ; B2 [ x ]", "blokada zapisu i odczytu", 249, 0x00},
};
constexpr TrybyBlokady kDwaBity{kTryby3, 0xC0};

// Parts with three lock bits: bits 7..5 of the byte written and of the 'F' answer.
constexpr TrybBlokady kTryby4[] = {
    {"B1 [  ] ; B2 [  ] ; B3 [  ]", "zapis i odczyt możliwy", 255, 0xE0},
    {"B1 [ x ] ;  B2 [  ] ; B3 [  ]", "próbkowanie EA w czasie resetu", 127, 0x60},
    {"B1 [ x ] ; B2 [ x ] ; B3 [  ]", "jak wyżej + blokada  odczytu ", 63, 0x20},
    {"B1 [ x ] ; B2 [ x ] ; B3 [ x ]", "jak wyżej + blokada zapisu ", 31, 0x00},
};
constexpr TrybyBlokady kTrzyBity{kTryby4, 0xE0};

// A byte of a block takes about 4 ms on the AT90S parts; the bound leaves room for more.
// Their erase ends within the answer's usual bound.
constexpr CzasyUkladu kCzasy{20, 0};

// Page-mode parts behind an AVR910 firmware: a block byte within 1 ms (0.26 ms a byte
// clocked in, a page write and its poll at the end), an EEPROM byte 10 ms blind; the
// firmware's erase waits 10 ms.
constexpr CzasyUkladu kCzasyStron{12, 20};

constexpr KodyUkladu kod(std::uint8_t k) {
  return {{k, 0, 0, 0}, 1};
}

// ---- The page-mode ATtiny and ATmega parts: AVR910 programmers only.

// Named bits of their fuse and lock bytes (0 = programmed), with the fuse editor's captions.
constexpr BitBezpiecznika kLfuseCkdiv[] = {
    {"CKDIV8", 7, "zegar dzielony przez 8"},
    {"CKOUT", 6, "zegar na wyprowadzeniu CLKO"},
    {"SUT1", 5, "czas startu"},
    {"SUT0", 4, "czas startu"},
    {"CKSEL3", 3, "źródło zegara"},
    {"CKSEL2", 2, "źródło zegara"},
    {"CKSEL1", 1, "źródło zegara"},
    {"CKSEL0", 0, "źródło zegara"},
};
constexpr BitBezpiecznika kLfuseBod[] = {
    {"BODLEVEL", 7, "próg detektora zaniku zasilania"},
    {"BODEN", 6, "detektor zaniku zasilania włączony"},
    {"SUT1", 5, "czas startu"},
    {"SUT0", 4, "czas startu"},
    {"CKSEL3", 3, "źródło zegara"},
    {"CKSEL2", 2, "źródło zegara"},
    {"CKSEL1", 1, "źródło zegara"},
    {"CKSEL0", 0, "źródło zegara"},
};
constexpr BitBezpiecznika kLfuseTiny13[] = {
    {"SPIEN", 7, "programowanie szeregowe włączone"},
    {"EESAVE", 6, "EEPROM zachowany przy kasowaniu"},
    {"WDTON", 5, "watchdog zawsze włączony"},
    {"CKDIV8", 4, "zegar dzielony przez 8"},
    {"SUT1", 3, "czas startu"},
    {"SUT0", 2, "czas startu"},
    {"CKSEL1", 1, "źródło zegara"},
    {"CKSEL0", 0, "źródło zegara"},
};
constexpr BitBezpiecznika kHfuseTiny13[] = {
    {"SELFPRGEN", 4, "samoprogramowanie włączone"},
    {"DWEN", 3, "debugWIRE włączony"},
    {"BODLEVEL1", 2, "próg detektora zaniku zasilania"},
    {"BODLEVEL0", 1, "próg detektora zaniku zasilania"},
    {"RSTDISBL", 0, "RESET jako zwykłe wyprowadzenie"},
};
constexpr BitBezpiecznika kHfuseTiny2313[] = {
    {"DWEN", 7, "debugWIRE włączony"},
    {"EESAVE", 6, "EEPROM zachowany przy kasowaniu"},
    {"SPIEN", 5, "programowanie szeregowe włączone"},
    {"WDTON", 4, "watchdog zawsze włączony"},
    {"BODLEVEL2", 3, "próg detektora zaniku zasilania"},
    {"BODLEVEL1", 2, "próg detektora zaniku zasilania"},
    {"BODLEVEL0", 1, "próg detektora zaniku zasilania"},
    {"RSTDISBL", 0, "RESET jako zwykłe wyprowadzenie"},
};
// ATtiny25/45/85, ATmega48/88/168.
constexpr BitBezpiecznika kHfuseBodlevel[] = {
    {"RSTDISBL", 7, "RESET jako zwykłe wyprowadzenie"},
    {"DWEN", 6, "debugWIRE włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"},
    {"WDTON", 4, "watchdog zawsze włączony"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"},
    {"BODLEVEL2", 2, "próg detektora zaniku zasilania"},
    {"BODLEVEL1", 1, "próg detektora zaniku zasilania"},
    {"BODLEVEL0", 0, "próg detektora zaniku zasilania"},
};
constexpr BitBezpiecznika kHfuse328p[] = {
    {"RSTDISBL", 7, "RESET jako zwykłe wyprowadzenie"},
    {"DWEN", 6, "debugWIRE włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"},
    {"WDTON", 4, "watchdog zawsze włączony"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"},
    {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},
    {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kHfuseM8[] = {
    {"RSTDISBL", 7, "RESET jako zwykłe wyprowadzenie"},
    {"WDTON", 6, "watchdog zawsze włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"},
    {"CKOPT", 4, "pełne wzmocnienie oscylatora"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"},
    {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},
    {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kHfuseJtag[] = {
    {"OCDEN", 7, "debugowanie przez JTAG włączone"},  {"JTAGEN", 6, "interfejs JTAG włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"}, {"CKOPT", 4, "pełne wzmocnienie oscylatora"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"}, {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},     {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kHfuseM162[] = {
    {"OCDEN", 7, "debugowanie przez JTAG włączone"},  {"JTAGEN", 6, "interfejs JTAG włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"}, {"WDTON", 4, "watchdog zawsze włączony"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"}, {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},     {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kHfuseM8515[] = {
    {"S8515C", 7, "tryb zgodności z AT90S8515"},      {"WDTON", 6, "watchdog zawsze włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"}, {"CKOPT", 4, "pełne wzmocnienie oscylatora"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"}, {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},     {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kHfuseM8535[] = {
    {"S8535C", 7, "tryb zgodności z AT90S8535"},      {"WDTON", 6, "watchdog zawsze włączony"},
    {"SPIEN", 5, "programowanie szeregowe włączone"}, {"CKOPT", 4, "pełne wzmocnienie oscylatora"},
    {"EESAVE", 3, "EEPROM zachowany przy kasowaniu"}, {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},     {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kEfuseSelfprgen[] = {
    {"SELFPRGEN", 0, "samoprogramowanie włączone"},
};
constexpr BitBezpiecznika kEfuseBoot[] = {
    {"BOOTSZ1", 2, "rozmiar sekcji bootloadera"},
    {"BOOTSZ0", 1, "rozmiar sekcji bootloadera"},
    {"BOOTRST", 0, "start od bootloadera"},
};
constexpr BitBezpiecznika kEfuseBodlevel[] = {
    {"BODLEVEL2", 2, "próg detektora zaniku zasilania"},
    {"BODLEVEL1", 1, "próg detektora zaniku zasilania"},
    {"BODLEVEL0", 0, "próg detektora zaniku zasilania"},
};
constexpr BitBezpiecznika kEfuseM162[] = {
    {"M161C", 4, "tryb zgodności z ATmega161"},
    {"BODLEVEL2", 3, "próg detektora zaniku zasilania"},
    {"BODLEVEL1", 2, "próg detektora zaniku zasilania"},
    {"BODLEVEL0", 1, "próg detektora zaniku zasilania"},
};
constexpr BitBezpiecznika kLockDwa[] = {
    {"LB2", 1, "blokada odczytu"},
    {"LB1", 0, "blokada zapisu"},
};
constexpr BitBezpiecznika kLockSzesc[] = {
    {"BLB12", 5, "blokada sekcji bootloadera"},
    {"BLB11", 4, "blokada sekcji bootloadera"},
    {"BLB02", 3, "blokada sekcji aplikacji"},
    {"BLB01", 2, "blokada sekcji aplikacji"},
    {"LB2", 1, "blokada odczytu"},
    {"LB1", 0, "blokada zapisu"},
};

// The serial programming instructions of every ATtiny and ATmega here: read (four bytes,
// the answer to the fourth) and write (three, the value the fourth).
constexpr BajtBezpiecznikow lfuse(std::uint8_t fabryczny, std::span<const BitBezpiecznika> b) {
  return {"lfuse", fabryczny, {0x50, 0x00, 0x00, 0x00}, {0xAC, 0xA0, 0x00}, b};
}
constexpr BajtBezpiecznikow hfuse(std::uint8_t fabryczny, std::span<const BitBezpiecznika> b) {
  return {"hfuse", fabryczny, {0x58, 0x08, 0x00, 0x00}, {0xAC, 0xA8, 0x00}, b};
}
constexpr BajtBezpiecznikow efuse(std::uint8_t fabryczny, std::span<const BitBezpiecznika> b) {
  return {"efuse", fabryczny, {0x50, 0x08, 0x00, 0x00}, {0xAC, 0xA4, 0x00}, b};
}
constexpr BajtBezpiecznikow lock(std::span<const BitBezpiecznika> b) {
  return {"lock", 0xFF, {0x58, 0x00, 0x00, 0x00}, {0xAC, 0xE0, 0x00}, b};
}

constexpr BajtBezpiecznikow kBajtyTiny13[] = {lfuse(0x6A, kLfuseTiny13), hfuse(0xFF, kHfuseTiny13),
                                              lock(kLockDwa)};
constexpr BajtBezpiecznikow kBajtyTiny2313[] = {lfuse(0x64, kLfuseCkdiv),
                                                hfuse(0xDF, kHfuseTiny2313),
                                                efuse(0xFF, kEfuseSelfprgen), lock(kLockDwa)};
constexpr BajtBezpiecznikow kBajtyTinyX5[] = {lfuse(0x62, kLfuseCkdiv), hfuse(0xDF, kHfuseBodlevel),
                                              efuse(0xFF, kEfuseSelfprgen), lock(kLockDwa)};
constexpr BajtBezpiecznikow kBajtyM8[] = {lfuse(0xE1, kLfuseBod), hfuse(0xD9, kHfuseM8),
                                          lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM16[] = {lfuse(0xE1, kLfuseBod), hfuse(0x99, kHfuseJtag),
                                           lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM48[] = {lfuse(0x62, kLfuseCkdiv), hfuse(0xDF, kHfuseBodlevel),
                                           efuse(0xFF, kEfuseSelfprgen), lock(kLockDwa)};
constexpr BajtBezpiecznikow kBajtyM88[] = {lfuse(0x62, kLfuseCkdiv), hfuse(0xDF, kHfuseBodlevel),
                                           efuse(0xF9, kEfuseBoot), lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM328p[] = {lfuse(0x62, kLfuseCkdiv), hfuse(0xD9, kHfuse328p),
                                             efuse(0xFF, kEfuseBodlevel), lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM8515[] = {lfuse(0xE1, kLfuseBod), hfuse(0xD9, kHfuseM8515),
                                             lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM8535[] = {lfuse(0xE1, kLfuseBod), hfuse(0xD9, kHfuseM8535),
                                             lock(kLockSzesc)};
constexpr BajtBezpiecznikow kBajtyM162[] = {lfuse(0x62, kLfuseCkdiv), hfuse(0x99, kHfuseM162),
                                            efuse(0xFF, kEfuseM162), lock(kLockSzesc)};

// AT89C51, AT89C52 and AT89S8252 carry the parts' real memory sizes (4 KB, 8 KB and
// 8 KB + 2 KB EEPROM): smaller values would make a read return part of the memory as
// if it were all of it.
// The 8051 parts' signatures are those their parallel-programming datasheets list for
// the 12 V parts (the third byte 0xFF: a 5 V-programming part reads 0x05 there and is
// no part of this table). The x051 parts list two bytes only; the AT89S parts' third
// byte is not confirmed.
// The 12 V parts have no AVR910 code: that firmware's list of parts never holds the
// parallel mode, so no such programmer serves them.
// clang-format off
constexpr Uklad kWiersze[] = {
    {.nazwa = "AT89C51", .rozmiar_flash = 4096, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C51", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x51, 0xFF}, 3, true},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C52", .rozmiar_flash = 8192, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C52", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x52, 0xFF}, 3, true},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C55", .rozmiar_flash = 20480, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C55", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x55, 0xFF}, 3, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C1051", .rozmiar_flash = 512, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C1051", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x11, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C2051", .rozmiar_flash = 1024, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C2051", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x21, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89C4051", .rozmiar_flash = 2048, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 0,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 3,
     .checkbox1 = "", .checkbox2 = "",
     .krotka = "AT89C4051", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x41, 0xFF}, 2, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    // SPIEN is bit 0 of its fuse byte and of the 'F' answer; its lock bits are three.
    {.nazwa = "AT89S8252", .rozmiar_flash = 8192, .rozmiar_eeprom = 2048, .adresowanie_bajtowe = 1,
     .kod_ukladu = 134, .grupa_eeprom = true, .liczba_trybow = 4,
     .checkbox1 = "", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT89S8252", .kody_avr910 = kod(134), .sygnatura = {{0x1E, 0x72, 0x06}, 2, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::bitami, .bity_pol = {-1, 0},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT89S53", .rozmiar_flash = 12288, .rozmiar_eeprom = 0, .adresowanie_bajtowe = 1,
     .kod_ukladu = 12, .grupa_eeprom = false, .liczba_trybow = 4,
     .checkbox1 = " ", .checkbox2 = " ",
     .krotka = "AT89S53", .kody_avr910 = {}, .sygnatura = {{0x1E, 0x53, 0x06}, 2, false},
     .rozmiar_strony = 0, .tryby = &kTrzyBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = true, .czasy = kCzasy, .bezpieczniki = {}, .avr = false},
    {.nazwa = "AT90S1200", .rozmiar_flash = 512, .rozmiar_eeprom = 64, .adresowanie_bajtowe = 0,
     .kod_ukladu = 19, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Wewnętrzny oscylator (RCEN)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S1200", .kody_avr910 = kod(19), .sygnatura = {{0x1E, 0x90, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = ".AT90S2313", .rozmiar_flash = 1024, .rozmiar_eeprom = 128, .adresowanie_bajtowe = 0,
     .kod_ukladu = 32, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S2313", .kody_avr910 = kod(32), .sygnatura = {{0x1E, 0x91, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = "AT90S4414 /34", .rozmiar_flash = 2048, .rozmiar_eeprom = 256, .adresowanie_bajtowe = 0,
     .kod_ukladu = 40, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S4414", .kody_avr910 = kod(40), .sygnatura = {{0x1E, 0x92, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    {.nazwa = "AT90S8515 /35", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 56, .grupa_eeprom = true, .liczba_trybow = 3,
     .checkbox1 = "Szybki start (FSTRT)", .checkbox2 = "Programowanie SPI (SPIEN)",
     .krotka = "AT90S8515", .kody_avr910 = kod(56), .sygnatura = {{0x1E, 0x93, 0x01}, 3, true},
     .rozmiar_strony = 0, .tryby = &kDwaBity, .odczyt_F = OdczytF::bitami, .bity_pol = {0, 5},
     .rownolegly_12v = false, .czasy = kCzasy, .bezpieczniki = {}, .avr = true},
    // Page-mode ATtiny and ATmega parts: AVR910 programmers only (kod_ukladu 0). Their
    // codes: the firmware's own for the part first, then codes of other parts whose
    // page size in the firmware is the part's (the firmware writes pages by the size of
    // the code 'T' selected; a byte-mode code such as the AT90S2313's 0x20 never writes
    // a page). The ATtiny13, ATtiny25/45 and ATmega48/88/168/328P have no code of their own.
    {.nazwa = "ATtiny13", .rozmiar_flash = 512, .rozmiar_eeprom = 64, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATtiny13", .kody_avr910 = {{0x23, 0x5E}, 2}, .sygnatura = {{0x1E, 0x90, 0x07}, 3, true},
     .rozmiar_strony = 32, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyTiny13, .avr = true,
     .zegar = {0x03, 0x000E}, .jedna_sesja = true},
    {.nazwa = "ATtiny2313", .rozmiar_flash = 1024, .rozmiar_eeprom = 128, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATtiny2313", .kody_avr910 = {{0x23, 0x5E}, 2}, .sygnatura = {{0x1E, 0x91, 0x0A}, 3, true},
     .rozmiar_strony = 32, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyTiny2313, .avr = true,
     .zegar = {0x0F, 0x007C}, .jedna_sesja = true},
    {.nazwa = "ATtiny25", .rozmiar_flash = 1024, .rozmiar_eeprom = 128, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATtiny25", .kody_avr910 = {{0x23, 0x5E}, 2}, .sygnatura = {{0x1E, 0x91, 0x08}, 3, true},
     .rozmiar_strony = 32, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyTinyX5, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATtiny45", .rozmiar_flash = 2048, .rozmiar_eeprom = 256, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATtiny45", .kody_avr910 = {{0x1C, 0x76, 0x3A, 0x69}, 4}, .sygnatura = {{0x1E, 0x92, 0x06}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyTinyX5, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATtiny85", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATtiny85", .kody_avr910 = {{0x1C, 0x76, 0x3A, 0x69}, 4}, .sygnatura = {{0x1E, 0x93, 0x0B}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyTinyX5, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega8", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega8", .kody_avr910 = {{0x76, 0x3A, 0x69}, 3}, .sygnatura = {{0x1E, 0x93, 0x07}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM8, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega16", .rozmiar_flash = 8192, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega16", .kody_avr910 = {{0x74, 0x72, 0x63, 0x64}, 4}, .sygnatura = {{0x1E, 0x94, 0x03}, 3, true},
     .rozmiar_strony = 128, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM16, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega32", .rozmiar_flash = 16384, .rozmiar_eeprom = 1024, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega32", .kody_avr910 = {{0x72, 0x74, 0x63, 0x64}, 4}, .sygnatura = {{0x1E, 0x95, 0x02}, 3, true},
     .rozmiar_strony = 128, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM16, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega48", .rozmiar_flash = 2048, .rozmiar_eeprom = 256, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega48", .kody_avr910 = {{0x76, 0x3A, 0x69, 0x1C}, 4}, .sygnatura = {{0x1E, 0x92, 0x05}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM48, .avr = true,
     .zegar = {0x0F, 0x000C}, .jedna_sesja = true},
    {.nazwa = "ATmega88", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega88", .kody_avr910 = {{0x76, 0x3A, 0x69, 0x1C}, 4}, .sygnatura = {{0x1E, 0x93, 0x0A}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM88, .avr = true,
     .zegar = {0x0F, 0x000C}, .jedna_sesja = true},
    {.nazwa = "ATmega168", .rozmiar_flash = 8192, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega168", .kody_avr910 = {{0x74, 0x72, 0x63, 0x64}, 4}, .sygnatura = {{0x1E, 0x94, 0x06}, 3, true},
     .rozmiar_strony = 128, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM88, .avr = true,
     .zegar = {0x0F, 0x000C}, .jedna_sesja = true},
    {.nazwa = "ATmega328P", .rozmiar_flash = 16384, .rozmiar_eeprom = 1024, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega328P", .kody_avr910 = {{0x72, 0x74, 0x63, 0x64}, 4}, .sygnatura = {{0x1E, 0x95, 0x0F}, 3, true},
     .rozmiar_strony = 128, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM328p, .avr = true,
     .zegar = {0x0F, 0x000C}, .jedna_sesja = true},
    {.nazwa = "ATmega8515", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega8515", .kody_avr910 = {{0x3A, 0x76, 0x69}, 3}, .sygnatura = {{0x1E, 0x93, 0x06}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM8515, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega8535", .rozmiar_flash = 4096, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega8535", .kody_avr910 = {{0x69, 0x76, 0x3A}, 3}, .sygnatura = {{0x1E, 0x93, 0x08}, 3, true},
     .rozmiar_strony = 64, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM8535, .avr = true,
     .zegar = {0x0F, 0x001E}, .jedna_sesja = true},
    {.nazwa = "ATmega162", .rozmiar_flash = 8192, .rozmiar_eeprom = 512, .adresowanie_bajtowe = 0,
     .kod_ukladu = 0, .grupa_eeprom = true, .liczba_trybow = 3, .checkbox1 = "", .checkbox2 = "",
     .krotka = "ATmega162", .kody_avr910 = {{0x63, 0x74, 0x72, 0x64}, 4}, .sygnatura = {{0x1E, 0x94, 0x04}, 3, true},
     .rozmiar_strony = 128, .tryby = &kDwaBity, .odczyt_F = OdczytF::brak, .bity_pol = {-1, -1},
     .rownolegly_12v = false, .czasy = kCzasyStron, .bezpieczniki = kBajtyM162, .avr = true,
     .zegar = {0x0F, 0x0004}, .jedna_sesja = true},
};
// clang-format on

}  // namespace

const std::span<const Uklad> kUklady{kWiersze};

bool sygnatura_pasuje(const Uklad& u, const std::array<std::uint8_t, 3>& adresowo) {
  const SygnaturaUkladu& s = u.sygnatura;
  for (std::size_t i = 0; i < s.znaczace; ++i) {
    if (s.bajty[i] != adresowo[i]) return false;
  }
  return true;
}

bool sygnatura_pasuje(int indeks, const std::array<std::uint8_t, 3>& adresowo) {
  if (indeks < 0 || static_cast<std::size_t>(indeks) >= kUklady.size()) return false;
  return sygnatura_pasuje(kUklady[static_cast<std::size_t>(indeks)], adresowo);
}

int uklad_o_sygnaturze(const std::array<std::uint8_t, 3>& adresowo) {
  for (std::size_t i = 0; i < kUklady.size(); ++i) {
    if (sygnatura_pasuje(kUklady[i], adresowo)) return static_cast<int>(i);
  }
  return -1;
}

std::string tekst_sygnatury_ukladu(int indeks) {
  if (indeks < 0 || static_cast<std::size_t>(indeks) >= kUklady.size()) return {};
  return tekst_sygnatury_ukladu(kUklady[static_cast<std::size_t>(indeks)]);
}

std::string tekst_sygnatury_ukladu(const Uklad& u) {
  std::string t;
  const SygnaturaUkladu& s = u.sygnatura;
  static constexpr char kCyfry[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < s.znaczace; ++i) {
    if (!t.empty()) t += ' ';
    t += kCyfry[s.bajty[i] >> 4];
    t += kCyfry[s.bajty[i] & 0xF];
  }
  return t;
}

namespace {
// The name without blanks around it, the leading full stop and the " /NN" suffix.
std::string_view rdzen(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '.') s.remove_prefix(1);
  auto ukosnik = s.rfind(" /");
  if (ukosnik != std::string_view::npos) s = s.substr(0, ukosnik);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string klucz(std::string_view s) {
  std::string k;
  for (char c : rdzen(s)) k += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return k;
}
}  // namespace

std::string nazwa_krotka(const Uklad& u) {
  return u.krotka;
}

std::string nazwy_ukladow() {
  std::string nazwy;
  for (const Uklad& u : kUklady) {
    if (!nazwy.empty()) nazwy += ", ";
    nazwy += nazwa_krotka(u);
  }
  return nazwy;
}

bool ma_bezpiecznik(const Uklad& u, int ktory) {
  const std::string_view podpis = ktory == 1 ? u.checkbox1 : u.checkbox2;
  return podpis.find_first_not_of(' ') != std::string_view::npos;
}

int znajdz_uklad(std::string_view nazwa) {
  const std::string szukany = klucz(nazwa);
  if (szukany.empty()) return -1;
  for (std::size_t i = 0; i < kUklady.size(); ++i) {
    if (klucz(kUklady[i].nazwa) == szukany || klucz(kUklady[i].krotka) == szukany)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace ostrel
