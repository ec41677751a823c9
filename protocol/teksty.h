// The texts a result is described with and the exit status it gives: what both front
// ends say of an operation's end, byte for byte the same. The windows' labels are theirs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "devices/uklady.h"
#include "protocol/sterownik.h"
#include "serial/ComDrv32.h"

namespace ostrel {

// How an operation ended.
enum class Wynik {
  ok,                // done ("Weryfikacja OK!" or a silent read)
  demo,              // demo mode: nothing was done
  blad_weryfikacji,  // "Błąd weryfikacji"
  blad_hex,          // the HEX reader's text was not "Konwersja OK"
  blad_pliku,        // the file could not be read or written
  brak_odpowiedzi,   // "Programator nie odpowiada": the programmer stopped answering
  nic,               // nothing to do (no EEPROM, unknown code)
  port_niedostepny,  // the port cannot be used (missing, no permission, held elsewhere)
  inny_uklad,        // the chip in the socket is not the chosen part
  nieobslugiwany,    // "Programator nie obsługuje układu …": not in the programmer's 't' list
  przerwano,         // "Przerwano": the user stopped it; programming mode left, no file
};

// "Ostrel" or "AVR910": the type's name as the front ends show it.
const char* nazwa_typu(TypProgramatora typ);

// The line speeds a front end offers (bits per second); the first is the default.
inline constexpr std::uint32_t kPredkosci[] = {19200, 38400, 57600, 115200};
// The component's speed for one of kPredkosci; false for any other number.
bool predkosc_z_liczby(std::uint32_t bps, TComPortBaudRate& predkosc);

// Lock mode and fuses not read from the chip: what the AVR910 type shows for them.
inline constexpr const char* kNieOdczytano = "nie odczytano";
// The refusal of a part whose code the programmer's 't' list does not hold, followed by
// the part's name.
inline constexpr const char* kNieObslugujeUkladu = "Programator nie obsługuje układu ";

// Exit status convention shared by the front ends: 0 done; 1 the operation failed
// (verification difference, file not written); 2 the call or the input file is wrong;
// 3 no programmer answered, or it stopped answering; 4 the port cannot be used; 5 the
// chip in the socket is not the chosen part.
int kod_wyjscia(Wynik w);

inline constexpr const char* kNieOdpowiada = "Programator nie odpowiada";
inline constexpr const char* kPrzerwano = "Przerwano";
inline constexpr const char* kNadmiaroweDane = "Programator przysłał nadmiarowe dane";
// An acknowledgement that is not one: "Programator odrzucił polecenie 'P'" for '?', else
// the byte that came ("… odpowiedział na polecenie 'A' bajtem 0xA5 zamiast potwierdzenia").
std::string tekst_zlej_odpowiedzi(std::uint8_t polecenie, std::uint8_t odpowiedz);
// "Programator odpowiada jak Ostrel: zmień typ programatora": the type set is not the
// programmer's.
inline constexpr const char* kOdpowiadaJak = "Programator odpowiada jak ";
inline constexpr const char* kWeryfikacjaOK = "Weryfikacja OK!";
inline constexpr const char* kBladWeryfikacji = "Błąd weryfikacji";
// The programmer's mode in which the dialog's write also sends the fuse byte.
inline constexpr const char* kTrybPAR16 = "Tryb PAR16";

// The versions 'V' and 'v' gave, as the dialog shows them ("Soft. 1.2 Hard. 1.0"); the
// bytes are characters of code page 1250.
std::string tekst_wersji(const std::array<std::uint8_t, 4>& wersje);
// The programmer's mode by its answer to 'p' for the part: "Tryb ISP", "Tryb PAR16" or
// "Tryb PAR8" (a 12 V part in ISP), or null for another answer.
const char* tekst_trybu(std::uint8_t odpowiedz_p, const Uklad& u);

// The signature as the dialog shows it: the bytes in reverse order of reception, two
// upper-case hex digits and a blank each ("01 91 1E ").
std::string tekst_sygnatury(const std::array<std::uint8_t, 3>& sygnatura);

// An image larger than the memory it is meant for: programming it would run past the
// memory's end and wrap over its start, and at 19200 baud a large one would take hours.
inline constexpr const char* kPlikZaDuzy = "Plik HEX nie mieści się w pamięci układu";
// An image or memory reaching past the 16-bit unit addresses the programmer carries:
// written on, it would wrap over the memory's start.
inline constexpr const char* kPozaAdresami =
    "Pamięć sięga poza adresy, które programator przenosi (16 bitów)";

// Progress percentage p/s with ties to even (12.5 gives 12, 37.5 gives 38).
int procent(std::size_t p, std::size_t s);

}  // namespace ostrel
