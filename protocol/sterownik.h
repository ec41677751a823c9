// The programmer interface: the primitives a programmer type offers, one implementation
// per type. Each owns its acknowledgements, block sizes and time bounds; nothing outside
// an implementation asks which type it talks to.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "devices/uklady.h"
#include "hex/intel_hex.h"
#include "hex/strumien.h"

namespace ostrel {

// Why a wait gave up.
enum class Przerwanie : std::uint8_t {
  brak_odpowiedzi,  // nothing came within the bound
  urzadzenie,       // the port was closed or the device went away
  sygnal,           // the user asked the program to stop
  zla_odpowiedz,    // an answer that cannot be what was asked (a refusal '?' among them)
};

// Thrown by the waiting primitives when the programmer stops answering (or the port is
// closed); the operations catch it, so nothing more is sent.
class PorzucenieOperacji : public std::exception {
 public:
  explicit PorzucenieOperacji(Przerwanie p = Przerwanie::brak_odpowiedzi,
                              std::uint8_t polecenie_ = 0, std::uint8_t odpowiedz_ = 0)
      : powod(p), polecenie(polecenie_), odpowiedz(odpowiedz_) {}
  const char* what() const noexcept override { return "Programator nie odpowiada"; }
  Przerwanie powod;
  std::uint8_t polecenie;  // zla_odpowiedz: the command answered
  std::uint8_t odpowiedz;  // zla_odpowiedz: the byte that came instead of its answer
};

// The exchange with the programmer: one byte out, one byte in, each wait bounded.
class Lacze {
 public:
  virtual ~Lacze() = default;
  virtual void wyslij(std::uint8_t b) = 0;
  virtual void wyslij_dane(const std::uint8_t* dane, std::size_t n) = 0;
  // Throws PorzucenieOperacji when nothing comes within the bound.
  virtual std::uint8_t czekaj_na_bajt() = 0;
  // czekaj_na_bajt with the bound extended by `dodatkowe_ms`.
  virtual std::uint8_t czekaj_dluzej(std::uint32_t dodatkowe_ms) = 0;
  // Up to 33 reads; true and the byte when one came.
  virtual bool sprobuj_ograniczone(std::uint8_t& b) = 0;
  // One read; `domyslny` when it brings nothing.
  virtual std::uint8_t pojedyncza_proba(std::uint8_t domyslny) = 0;
  virtual void oproznij_wejscie() = 0;
  // True when a byte comes within the input time-out: after a run's last answer, a
  // byte that nobody asked for.
  virtual bool nadmiar() { return false; }
  void wyslij_i_czekaj(std::uint8_t b) {
    wyslij(b);
    czekaj_na_bajt();
  }
};

enum class Pamiec : std::uint8_t { flash, eeprom };

// The first difference a verify found.
struct Roznica {
  std::uint32_t adres = 0;      // byte address (paired: the differing byte's own)
  std::uint8_t w_pliku = 0;     // the byte of the image
  std::uint8_t w_ukladzie = 0;  // the byte read
  std::uint32_t jednostka = 0;  // 1-based number of the unit (byte, or word when paired)
};

// Progress of a run: bytes (or units) done of all.
using Postep = std::function<void(std::size_t zrobione, std::size_t wszystkie)>;

// The signature answer to 's': the bytes in the order of reception (address 2 first).
struct OdczytSygnatury {
  std::array<std::uint8_t, 3> bajty{};
  int odebrane = 0;  // how many of the three came
};

// The firmware the conversation is made for.
enum class TypProgramatora : std::uint8_t {
  ostrel,  // counters at 0 after 'P', one byte per command
  avr910,  // the AVR910 family: 't' lists its parts, 'b'/'B'/'g' blocks
};

class Sterownik {
 public:
  explicit Sterownik(Lacze& l) : lacze_(l) {}
  virtual ~Sterownik() = default;
  Sterownik(const Sterownik&) = delete;
  Sterownik& operator=(const Sterownik&) = delete;

  // What the programmer said of itself is forgotten (another may answer now).
  virtual void zapomnij() {}
  // Whether this programmer serves the part; may ask the programmer (once).
  virtual bool obsluguje(const Uklad& u) = 0;
  // Whether a programmer of this type can serve the part at all, by its row alone
  // (asks nothing): what a device list offers.
  virtual bool moze_obslugiwac(const Uklad& u) const { return u.kod_ukladu != 0; }
  // Whether 'F' answers with the chip's lock and fuse bits.
  virtual bool czyta_bity() const = 0;
  // The device code 'T' selects the part with; call after obsluguje.
  virtual std::uint8_t kod(const Uklad& u) const = 0;
  // The largest unit address 'A' carries.
  std::uint32_t najwyzszy_adres() const { return 0xFFFF; }

  // ---- Commands, each awaited unless said otherwise.
  void wybierz(const Uklad& u);  // 'T' and the device code
  std::uint8_t wejdz();          // 'P'; its acknowledgement
  void wyjdz();                  // 'L'
  void kasuj(const Uklad& u);    // 'e'
  // 'L' whose answer is taken if it comes within the short bound: nothing after it
  // depends on it, and no front end has to drain it.
  void zamknij();
  // 's'. do_konca: each of the three bytes is waited for, a missing one taking the
  // byte before it (`poprzedni` for the first); else a missing byte ends the answer.
  OdczytSygnatury sygnatura(bool do_konca = false, std::uint8_t poprzedni = 0);
  // '.': a four-byte serial programming instruction passed to the chip; the byte it
  // shifted out with the fourth, or none when the acknowledgement after it is not CR.
  std::optional<std::uint8_t> uniwersalne(const std::array<std::uint8_t, 4>& instrukcja);
  std::optional<std::uint8_t> bity(std::uint8_t domyslny);  // 'F', one attempt; none
                                                            // when not czyta_bity()
  void zapisz_lock(std::uint8_t b);                         // 'l'
  void zapisz_fuse(std::uint8_t b);                         // 'f'
  // 'S', 'V' with the input drained around each (the identification's opening).
  void przywitaj();
  std::array<std::uint8_t, 4> wersje();  // 'V' ->2, 'v' ->2
  std::uint8_t tryb();                   // 'p' ->1

  // ---- Runs from address 0. The image is the memory from its start.
  virtual void zapisz(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep);
  // After 'P'. False and the first difference when the chip differs.
  virtual bool weryfikuj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep,
                         Roznica& roznica);
  // EEPROM runs: each from its own 'A', then 'D' (or 'd' and a comparison) for each of
  // its bytes; nothing outside them is written or read.
  virtual void zapisz_przebiegi(const Uklad& u, Strumien& obraz, const std::vector<Przebieg>& p,
                                const Postep& postep);
  virtual bool weryfikuj_przebiegi(const Uklad& u, Strumien& obraz, const std::vector<Przebieg>& p,
                                   const Postep& postep, Roznica& roznica);
  // The whole memory into `obraz`, after 'T' and 'P'.
  virtual void czytaj(const Uklad& u, Pamiec m, Strumien& obraz, const Postep& postep);

  Lacze& lacze() { return lacze_; }

 protected:
  void adres(std::uint32_t a);  // 'A' with a 16-bit unit address, awaited
  // The acknowledgement of `polecenie`, awaited (with `dodatkowe_ms` more for a command
  // that works before it answers) and checked by the type.
  std::uint8_t potwierdzenie(std::uint8_t polecenie, std::uint32_t dodatkowe_ms = 0);
  // What the type's acknowledgement must be: throws PorzucenieOperacji (zla_odpowiedz)
  // for any other byte. The Ostrel type acknowledges with any byte.
  virtual void sprawdz_potwierdzenie(std::uint8_t /*polecenie*/, std::uint8_t /*odpowiedz*/) {}
  Lacze& lacze_;
};

// The bytes the runs hold together.
std::size_t bajty_przebiegow(const std::vector<Przebieg>& p);

// The implementation of a programmer type.
std::unique_ptr<Sterownik> utworz_sterownik(TypProgramatora typ, Lacze& l);

}  // namespace ostrel
