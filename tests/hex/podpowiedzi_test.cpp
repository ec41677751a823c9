// Every conversion command that docs/hex.md shows and ostrel-cli prints, run as pasted on
// the real tools' output: avr-objcopy's file that still holds .eeprom, srec_cat's 32-bit
// output, avr-gcc's ELF file and a raw binary. Each must give a file the reader takes,
// holding the memory its name says.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "common/avr_gcc.h"
#include "hex/elf.h"
#include "hex/narzedzia.h"

namespace ostrel::test {
namespace {

std::string zamien(std::string s, const std::string& co, const std::string& na) {
  for (std::size_t p = s.find(co); p != std::string::npos; p = s.find(co, p + na.size()))
    s.replace(p, co.size(), na);
  return s;
}

// The commands in the code blocks of a Markdown text: lines that start with one of the
// tools, continuation lines joined, comments cut off.
std::vector<std::string> polecenia_z_dokumentu(const std::string& tekst) {
  std::vector<std::string> wynik;
  std::istringstream we(tekst);
  std::string linia, biezace;
  bool w_bloku = false;
  while (std::getline(we, linia)) {
    if (linia.rfind("```", 0) == 0) {
      w_bloku = !w_bloku;
      continue;
    }
    if (!w_bloku) continue;
    if (biezace.empty()) {
      const std::string s = linia.substr(std::min(linia.find_first_not_of(' '), linia.size()));
      if (s.rfind("srec_cat ", 0) != 0 && s.rfind("avr-objcopy ", 0) != 0 &&
          s.rfind("ostrel-cli bin2hex ", 0) != 0)
        continue;
      linia = s;
    }
    const std::size_t komentarz = linia.find(" #");
    if (komentarz != std::string::npos) linia.resize(komentarz);
    if (!linia.empty() && linia.back() == '\\') {
      linia.pop_back();
      biezace += linia;
      continue;
    }
    wynik.push_back(biezace + linia);
    biezace.clear();
  }
  return wynik;
}

// The indented command lines of what ostrel-cli printed on standard error.
std::vector<std::string> polecenia_z_podpowiedzi(const std::string& bledy) {
  std::vector<std::string> wynik;
  std::istringstream we(bledy);
  std::string linia;
  while (std::getline(we, linia)) {
    if (linia.rfind("  ", 0) == 0) wynik.push_back(linia.substr(2));
  }
  return wynik;
}

struct Podpowiedzi : ::testing::Test {
  KatalogTymczasowy kat;
  std::string elf;
  Bajty flash, eeprom;

  void SetUp() override {
    if (!jest_avr_gcc()) GTEST_SKIP() << "avr-gcc, binutils-avr or srecord is not installed";
    ASSERT_FALSE(kat.sciezka().empty());
    elf = zbuduj_program_avr(kat.sciezka());
    ASSERT_FALSE(elf.empty()) << "avr-gcc failed";
    Strumien plik(czytaj_bajty(elf)), obraz;
    ASSERT_EQ(konwertuj_elf(plik, PamiecElf::flash, obraz), kKonwersjaOK);
    flash = obraz.dane();
    ASSERT_EQ(konwertuj_elf(plik, PamiecElf::eeprom, obraz), kKonwersjaOK);
    eeprom = obraz.dane();
    // The files users come with: avr-objcopy's whole program, srec_cat's default 32-bit
    // form of it, and a raw flash image.
    ASSERT_EQ(uruchom("avr-objcopy -O ihex " + cytuj(elf) + " " + cytuj(kat / "objcopy.hex")), 0);
    ASSERT_EQ(uruchom("srec_cat " + cytuj(kat / "objcopy.hex") + " -Intel -o " +
                      cytuj(kat / "srec.hex") + " -Intel"),
              0);
    ASSERT_EQ(uruchom("avr-objcopy -O binary -j .text -j .data " + cytuj(elf) + " " +
                      cytuj(kat / "flash.bin")),
              0);
  }

  // Stands for ostrel-cli; its hint lines are collected.
  std::string cli(const std::vector<std::string>& argumenty) {
    std::string p = cytuj(OSTREL_CLI);
    for (const auto& a : argumenty) {
      p += ' ';
      p += cytuj(a);
    }
    p += " >/dev/null 2>";
    p += cytuj(kat / "stderr");
    uruchom(p);
    return czytaj_plik(kat / "stderr");
  }

  // Runs one command on every input its placeholders name and checks each output.
  void sprawdz(const std::string& polecenie) {
    SCOPED_TRACE(polecenie);
    std::vector<std::string> wejscia;
    if (polecenie.find("WE.hex") != std::string::npos) {
      wejscia = {"objcopy.hex", "srec.hex"};
    } else if (polecenie.find("PROGRAM.elf") != std::string::npos) {
      wejscia = {"program.elf"};
    } else if (polecenie.find("WE.bin") != std::string::npos) {
      wejscia = {"flash.bin"};
    }
    ASSERT_FALSE(wejscia.empty()) << "a command with no known input file";
    const bool do_eeprom = polecenie.find("WY.eep") != std::string::npos ||
                           polecenie.find("PROGRAM.eep") != std::string::npos;
    for (const auto& we : wejscia) {
      SCOPED_TRACE(we);
      std::filesystem::remove(kat / "wy");
      std::string p = zamien(polecenie, "WE.hex", cytuj(kat / we));
      p = zamien(p, "WE.bin", cytuj(kat / we));
      p = zamien(p, "PROGRAM.elf", cytuj(elf));
      for (const char* wy : {"WY.hex", "WY.eep", "PROGRAM.hex", "PROGRAM.eep"})
        p = zamien(p, wy, cytuj(kat / "wy"));
      p = zamien(p, "ostrel-cli ", cytuj(OSTREL_CLI) + " ");
      ASSERT_EQ(uruchom(p + " 2>" + cytuj(kat / "narzedzie")), 0) << czytaj_plik(kat / "narzedzie");
      const auto k = konwertuj(czytaj_plik(kat / "wy"));
      EXPECT_EQ(k.wynik, kKonwersjaOK);
      EXPECT_EQ(k.obraz, do_eeprom ? eeprom : flash);
    }
  }
};

TEST_F(Podpowiedzi, KazdePolecenieDzialaNaPlikachNarzedzi) {
  std::set<std::string> polecenia;
  const auto z_dokumentu =
      polecenia_z_dokumentu(czytaj_plik(std::string(OSTREL_SOURCE_DIR) + "/docs/hex.md"));
  EXPECT_GE(z_dokumentu.size(), 6u);
  polecenia.insert(z_dokumentu.begin(), z_dokumentu.end());

  // The hints for avr-objcopy's whole file, for a start-address record, and for an ELF
  // file given to hex2bin.
  zapisz_plik(kat / "start.hex", rekord(0, 0, {1}) + rekord(5, 0, {0, 0, 0, 0}) + kKoniec);
  std::size_t z_cli = 0;
  for (const auto& plik : {kat / "objcopy.hex", kat / "start.hex", elf}) {
    const auto p = polecenia_z_podpowiedzi(cli({"hex2bin", plik, kat / "x.bin"}));
    EXPECT_FALSE(p.empty()) << plik;
    z_cli += p.size();
    polecenia.insert(p.begin(), p.end());
  }
  EXPECT_GE(z_cli, 7u);

  for (const auto& p : polecenia) sprawdz(p);
}

}  // namespace
}  // namespace ostrel::test
