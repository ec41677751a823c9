#include "hex/elf.h"

#include <gelf.h>
#include <libelf.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "hex/intel_hex.h"

namespace ostrel {

namespace {

// Machines an ELF file that is not for AVR is most likely for, by name.
struct Maszyna {
  unsigned kod;       // e_machine
  const char* nazwa;  // what the refusal calls it
};

constexpr Maszyna kMaszyny[] = {
    {EM_386, "x86 (Intel 80386)"},
    {EM_X86_64, "x86-64"},
    {EM_ARM, "ARM"},
    {EM_AARCH64, "AArch64 (ARM 64-bit)"},
    {EM_RISCV, "RISC-V"},
    {EM_MIPS, "MIPS"},
    {EM_PPC, "PowerPC"},
    {EM_PPC64, "PowerPC 64-bit"},
    {EM_SPARC, "SPARC"},
    {EM_SPARCV9, "SPARC V9"},
    {EM_S390, "IBM S/390"},
    {EM_68K, "Motorola 68000"},
    {EM_SH, "SuperH"},
    {EM_IA_64, "Intel Itanium"},
    {EM_MSP430, "TI MSP430"},
    {EM_XTENSA, "Xtensa (ESP8266, ESP32)"},
    {EM_8051, "Intel 8051"},
    {EM_STM8, "STM8"},
    {EM_LOONGARCH, "LoongArch"},
    {EM_BPF, "BPF"},
};

constexpr const char* kUszkodzony = "Plik ELF jest uszkodzony";

std::string nazwa_maszyny(unsigned kod) {
  for (const Maszyna& m : kMaszyny) {
    if (m.kod == kod) return m.nazwa;
  }
  return "maszyna nr " + std::to_string(kod);
}

// libelf is set up once per process; elf_version is its required first call.
bool libelf_gotowa() {
  static const bool gotowa = elf_version(EV_CURRENT) != EV_NONE;
  return gotowa;
}

// Frees the descriptor on every way out.
struct Deskryptor {
  Elf* elf;
  explicit Deskryptor(Elf* e) : elf(e) {}
  ~Deskryptor() { elf_end(elf); }
  Deskryptor(const Deskryptor&) = delete;
  Deskryptor& operator=(const Deskryptor&) = delete;
};

// One piece of the image: bytes and where they start in the chosen memory.
struct Kawalek {
  std::size_t adres;
  const std::uint8_t* dane;
  std::size_t rozmiar;
};

// The load address of a section: the same place in its segment's physical address. avr-gcc
// runs .data from RAM (0x800060...) but loads it into flash right after .text.
std::uint64_t adres_ladowania(const GElf_Shdr& sekcja, const std::vector<GElf_Phdr>& segmenty) {
  for (const GElf_Phdr& s : segmenty) {
    if (s.p_type != PT_LOAD) continue;
    if (sekcja.sh_offset >= s.p_offset && sekcja.sh_offset - s.p_offset < s.p_filesz &&
        sekcja.sh_size <= s.p_filesz - (sekcja.sh_offset - s.p_offset)) {
      return s.p_paddr + (sekcja.sh_offset - s.p_offset);
    }
  }
  return sekcja.sh_addr;  // a section in no segment loads where it runs
}

// Whether a table of `liczba` entries of `rozmiar` bytes at `poczatek` lies within the file.
bool miesci_sie(std::uint64_t poczatek, std::uint64_t liczba, std::uint64_t rozmiar,
                std::uint64_t plik) {
  if (liczba == 0) return true;
  if (poczatek > plik || rozmiar == 0) return false;
  return liczba <= (plik - poczatek) / rozmiar;
}

}  // namespace

bool czyta_elf() {
  return true;
}

bool jest_elf(const Strumien& plik) {
  const auto& d = plik.dane();
  return d.size() >= SELFMAG && std::memcmp(d.data(), ELFMAG, SELFMAG) == 0;
}

std::string konwertuj_elf(const Strumien& plik, PamiecElf pamiec, Strumien& obraz) {
  obraz.wyczysc();
  if (!libelf_gotowa()) return kUszkodzony;
  // libelf takes a writable buffer; the file stays untouched in the caller's image.
  std::vector<char> bufor(plik.dane().begin(), plik.dane().end());
  Deskryptor d{elf_memory(bufor.data(), bufor.size())};
  if (d.elf == nullptr || elf_kind(d.elf) != ELF_K_ELF) return kUszkodzony;

  GElf_Ehdr naglowek;
  if (gelf_getehdr(d.elf, &naglowek) == nullptr) return kUszkodzony;
  if (naglowek.e_machine != EM_AVR) {
    return "Plik ELF jest programem dla innej architektury: " + nazwa_maszyny(naglowek.e_machine) +
           ", a nie dla AVR";
  }
  // libelf takes tables that run past the end of a cut file for empty ones; such a file
  // is damaged, not one without segments or sections.
  std::size_t liczba_segmentow = 0, liczba_sekcji = 0;
  if (elf_getphdrnum(d.elf, &liczba_segmentow) != 0 || elf_getshdrnum(d.elf, &liczba_sekcji) != 0 ||
      !miesci_sie(naglowek.e_phoff, naglowek.e_phnum, naglowek.e_phentsize, bufor.size()) ||
      !miesci_sie(naglowek.e_shoff, naglowek.e_shnum, naglowek.e_shentsize, bufor.size()))
    return kUszkodzony;
  if (naglowek.e_type != ET_EXEC || liczba_segmentow == 0) {
    return "Plik ELF nie jest gotowym programem (to plik obiektowy?); podaj plik, który "
           "zbudował avr-gcc";
  }
  std::vector<GElf_Phdr> segmenty(liczba_segmentow);
  for (std::size_t i = 0; i < liczba_segmentow; ++i) {
    if (gelf_getphdr(d.elf, static_cast<int>(i), &segmenty[i]) == nullptr) return kUszkodzony;
  }

  const bool flash = pamiec == PamiecElf::flash;
  const std::uint64_t od = flash ? 0 : kElfPoczatekEeprom;
  const std::uint64_t do_ = flash ? kElfKoniecFlash : kElfKoniecEeprom;
  std::size_t indeks_nazw = 0;
  if (elf_getshdrstrndx(d.elf, &indeks_nazw) != 0) return kUszkodzony;

  std::vector<Kawalek> kawalki;
  std::size_t koniec = 0;
  for (Elf_Scn* scn = elf_nextscn(d.elf, nullptr); scn != nullptr; scn = elf_nextscn(d.elf, scn)) {
    GElf_Shdr sekcja;
    if (gelf_getshdr(scn, &sekcja) == nullptr) return kUszkodzony;
    // Only what a loader would copy: allocated sections with contents in the file.
    if ((sekcja.sh_flags & SHF_ALLOC) == 0 || sekcja.sh_type == SHT_NOBITS || sekcja.sh_size == 0)
      continue;
    const std::uint64_t adres = adres_ladowania(sekcja, segmenty);
    if (adres < od || adres >= do_) continue;  // another memory (RAM, fuses, lock bits, ...)
    const char* nazwa = elf_strptr(d.elf, indeks_nazw, sekcja.sh_name);
    if (sekcja.sh_size > do_ - adres) {
      return std::string("Sekcja ") + (nazwa != nullptr ? nazwa : "?") +
             " pliku ELF wychodzi poza pamięć " + (flash ? "flash" : "EEPROM");
    }
    Elf_Data* dane = elf_rawdata(scn, nullptr);
    if (dane == nullptr || dane->d_buf == nullptr || dane->d_size != sekcja.sh_size)
      return kUszkodzony;
    const std::size_t poczatek = static_cast<std::size_t>(adres - od);
    kawalki.push_back({poczatek, static_cast<const std::uint8_t*>(dane->d_buf), dane->d_size});
    if (poczatek + dane->d_size > koniec) koniec = poczatek + dane->d_size;
  }
  if (kawalki.empty()) {
    return flash ? "Plik ELF nie zawiera danych do pamięci flash (sekcji .text, .data)"
                 : "Plik ELF nie zawiera danych do pamięci EEPROM (sekcji .eeprom)";
  }

  // Sections go in file order; where two overlap, the later one wins, as in a HEX file.
  std::vector<std::uint8_t> bajty(koniec, 0xFF);
  for (const Kawalek& k : kawalki) std::memcpy(bajty.data() + k.adres, k.dane, k.rozmiar);
  obraz = Strumien(std::move(bajty));
  return kKonwersjaOK;
}

}  // namespace ostrel
