// A programmer that falls silent, hangs up or talks out of turn, driven through ostrel-cli:
// every run ends within the answer bound with a clear Polish text and the documented exit
// status, no file is lost, and no faulty chip is ever reported as matching its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pomoc.h"

namespace ostrel::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNieOdpowiada = "Programator nie odpowiada";
constexpr const char* kNadmiaroweDane = "Programator przysłał nadmiarowe dane";

// A simulator linked as COM2 that logs the wire, and a folder for the run's files.
class Stanowisko {
 public:
  explicit Stanowisko(std::vector<std::string> opcje, const std::string& uklad = "AT90S8515")
      : dziennik_(pliki_ / "wire.log"), zrzut_(pliki_ / "flash.bin") {
    opcje.insert(opcje.end(),
                 {"--device", uklad, "--com", "2", "--log", dziennik_, "--dump-flash", zrzut_});
    start_ = std::chrono::steady_clock::now();
    sim_.emplace(std::move(opcje));
  }
  Symulator& sim() { return *sim_; }
  std::string plik(const std::string& nazwa) const { return pliki_ / nazwa; }
  const std::string& folder() const { return pliki_.sciezka(); }

  Przebieg cli(std::vector<std::string> argumenty, double limit_s = 60) {
    argumenty.insert(argumenty.begin(), {"--port", "2", "--device", "AT90S8515"});
    return uruchom_cli(argumenty, sim_->konfiguracja(), limit_s);
  }
  // Stops the simulator so that its log and dump are complete.
  Dziennik zakoncz() {
    sim_->zatrzymaj();
    return czytaj_pelny_dziennik(dziennik_);
  }
  Bajty zrzut() const { return czytaj_plik(zrzut_); }
  // Seconds from the simulator's start (as far as this side can tell) to `t`.
  double od_startu(std::chrono::steady_clock::time_point t) const {
    return std::chrono::duration<double>(t - start_).count();
  }

 private:
  KatalogTymczasowy pliki_;
  std::string dziennik_;
  std::string zrzut_;
  std::chrono::steady_clock::time_point start_;
  std::optional<Symulator> sim_;
};

// After a silence the program gives up within the bound, measured from the last byte on
// the wire to the end of the run.
void sprawdz_granice(const Stanowisko& s, const Dziennik& d, const Przebieg& p) {
  ASSERT_FALSE(p.zawieszony) << "hung; stdout: " << p.wyjscie;
  const auto ostatni = d.ostatni_bajt();
  ASSERT_TRUE(ostatni.has_value());
  const double cisza = s.od_startu(p.koniec) - *ostatni / 1000.0;
  EXPECT_LE(cisza, kGranicaCiszy + kZapas) << "seconds from the last byte to the end";
}

// --- Silence

struct Cisza {
  const char* nazwa;      // test name
  const char* polecenie;  // ostrel-cli command
  int milknie_po;         // answered commands before the programmer falls silent
  bool chip_z_pliku;      // the chip holds the file already (so a verify runs to its end)
  bool po_programowaniu;  // the silence comes after programming reached 100 %
};

// 256 bytes on the AT90S8515 (128 words): the search, T, P, e, L, P, three answered
// commands per word while programming, then P and one R per word while verifying.
// A read of the whole flash is 4096 R commands.
const Cisza kCisze[] = {
    {"WhileProgramming", "program-flash", 100, false, false},
    {"WhileVerifying", "program-flash", 450, false, true},
    {"WhileVerifyingAlone", "verify-flash", 60, true, false},
    {"WhileReading", "read-flash", 1000, false, false},
};

// The last progress figure on standard error ("\r 42%"), -1 when there is none.
int ostatni_postep(const std::string& bledy, std::size_t* gdzie = nullptr) {
  const auto procent = bledy.rfind('%');
  if (procent == std::string::npos || procent < 3) return -1;
  if (gdzie != nullptr) *gdzie = procent;
  return std::atoi(bledy.substr(procent - 3, 3).c_str());
}

class CiszaProgramatora : public ::testing::TestWithParam<Cisza> {};

TEST_P(CiszaProgramatora, EndsWithinTheBoundAndLosesNoFile) {
  const Cisza& c = GetParam();
  KatalogTymczasowy wejscie;
  const std::string tresc = hex_obrazu(wzor(256));
  zapisz_plik(wejscie / "chip.hex", tresc);
  std::vector<std::string> opcje{"--stop-after", std::to_string(c.milknie_po)};
  if (c.chip_z_pliku) opcje.insert(opcje.end(), {"--flash", wejscie / "chip.hex"});
  Stanowisko s(opcje);
  ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
  const std::string plik = s.plik("dane.hex");
  const std::string stary = std::string(c.polecenie) == "read-flash"
                                ? std::string("poprzedni odczyt, nie do zgubienia\r\n")
                                : tresc;
  zapisz_plik(plik, stary);

  const Przebieg p = s.cli({c.polecenie, plik});
  const Dziennik d = s.zakoncz();
  sprawdz_granice(s, d, p);
  EXPECT_EQ(p.status, 3);
  EXPECT_EQ(p.wyjscie, std::string(kNieOdpowiada) + "\n");
  // The silence met the phase it was meant for: midway, before or after programming.
  const int postep = ostatni_postep(p.bledy);
  EXPECT_GE(postep, 0) << p.bledy;
  EXPECT_LT(postep, 100) << p.bledy;
  EXPECT_EQ(p.bledy.find("100%") != std::string::npos, c.po_programowaniu) << p.bledy;
  EXPECT_EQ(czytaj_plik(plik), bajty(stary)) << "the file must stay byte for byte";
  // Nothing was left beside it either (no half-written temporary file).
  std::size_t pliki = 0;
  for (const auto& e : fs::directory_iterator(s.folder())) pliki += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(pliki, 3u) << "dane.hex, wire.log and flash.bin only";
}

INSTANTIATE_TEST_SUITE_P(Faults, CiszaProgramatora, ::testing::ValuesIn(kCisze),
                         [](const auto& info) { return std::string(info.param.nazwa); });

TEST(Cisza, SilentFromTheStartIsNoProgrammer) {
  Stanowisko s({"--silent"});
  ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
  const std::string plik = s.plik("dane.hex");
  zapisz_plik(plik, hex_obrazu(wzor(64)));
  for (const std::vector<std::string>& argumenty :
       {std::vector<std::string>{"program-flash", plik}, {"detect"}}) {
    const Przebieg p = s.cli(argumenty);
    ASSERT_FALSE(p.zawieszony);
    EXPECT_EQ(p.status, 3) << argumenty[0];
    EXPECT_EQ(p.wyjscie, kBrakProgramatora) << argumenty[0];
    EXPECT_LE(p.sekundy, kGranicaCiszy + kZapas) << argumenty[0];
  }
  // The search asked; nothing beyond it went out.
  const Bajty host = s.zakoncz().od_hosta();
  EXPECT_TRUE(std::all_of(host.begin(), host.end(), [](std::uint8_t b) { return b == 'S'; }))
      << std::string(host.begin(), host.end());
}

// --- The adapter hung up

TEST(Rozlaczenie, HangUpMidTransferEndsWithinTheBound) {
  for (const char* polecenie : {"program-flash", "read-flash"}) {
    SCOPED_TRACE(polecenie);
    Stanowisko s({"--hangup-after", "200"});
    ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
    const std::string plik = s.plik("dane.hex");
    const std::string stary = hex_obrazu(wzor(512, 3));
    zapisz_plik(plik, stary);
    const Przebieg p = s.cli({polecenie, plik});
    const Dziennik d = s.zakoncz();
    ASSERT_TRUE(d.zdarzenie("hangup").has_value());
    sprawdz_granice(s, d, p);
    // Told as the port gone, not as the programmer's silence.
    EXPECT_EQ(p.status, 4);
    EXPECT_NE(p.wyjscie.find("jest niedostępny (urządzenie odłączone?)"), std::string::npos)
        << p.wyjscie;
    EXPECT_EQ(czytaj_plik(plik), bajty(stary));
  }
}

// --- Unrequested bytes on the line

// Whatever the stray bytes do, "Weryfikacja OK!" is said only of a chip that holds the
// file; otherwise the run reports the difference or the stray byte (or, at worst, gives
// up).
TEST(Smieci, NeverReportsSuccessForADifferentChip) {
  const Bajty obraz = wzor(300, 7);
  // The last two are never met or met only near the end, so success is checked too.
  int sukcesy = 0, wykryte = 0;
  for (int co : {1, 2, 5, 13, 64, 600, 100000}) {
    SCOPED_TRACE("garbage every " + std::to_string(co));
    Stanowisko s({"--garbage-every", std::to_string(co)});
    ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
    const std::string plik = s.plik("dane.hex");
    zapisz_plik(plik, hex_obrazu(obraz));
    const Przebieg p = s.cli({"program-flash", plik});
    s.zakoncz();
    ASSERT_FALSE(p.zawieszony);
    const Bajty chip = s.zrzut();
    ASSERT_GE(chip.size(), obraz.size());
    const bool zgodny = std::equal(obraz.begin(), obraz.end(), chip.begin());
    if (p.status == 0) {
      ++sukcesy;
      EXPECT_EQ(p.wyjscie, "Weryfikacja OK!\n");
      EXPECT_TRUE(zgodny) << "success reported for a chip that differs from the file";
    } else if (p.status == 1) {
      ++wykryte;
      EXPECT_EQ(p.wyjscie.rfind("Błąd weryfikacji pod adresem 0x", 0), 0u) << p.wyjscie;
    } else if (p.status == 5) {
      // A stray byte in the signature makes it another chip's: refused, nothing said done.
      EXPECT_EQ(p.wyjscie, "") << p.wyjscie;
    } else if (p.wyjscie == std::string(kNadmiaroweDane) + "\n") {
      // A stray byte among the verify's answers leaves one over after the last.
      ++wykryte;
      EXPECT_EQ(p.status, 3);
    } else {
      // A stray byte before the identification hides the programmer from the search.
      EXPECT_EQ(p.status, 3);
      EXPECT_TRUE(p.wyjscie == std::string(kNieOdpowiada) + "\n" || p.wyjscie == kBrakProgramatora)
          << p.wyjscie;
    }
  }
  EXPECT_GE(sukcesy, 1);
  EXPECT_GE(wykryte, 1);
}

// A chip that differs from the file in its last byte only: stray bytes must never hide it.
TEST(Smieci, VerifyNeverHidesADifference) {
  Bajty w_ukladzie = wzor(400, 11);
  Bajty w_pliku = w_ukladzie;
  w_pliku.back() ^= 0x01;
  KatalogTymczasowy pliki;
  zapisz_plik(pliki / "chip.hex", hex_obrazu(w_ukladzie));
  for (int co : {1, 3, 7, 50}) {
    SCOPED_TRACE("garbage every " + std::to_string(co));
    Stanowisko s({"--garbage-every", std::to_string(co), "--flash", pliki / "chip.hex"});
    ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
    const std::string plik = s.plik("plik.hex");
    zapisz_plik(plik, hex_obrazu(w_pliku));
    const Przebieg p = s.cli({"verify-flash", plik});
    s.zakoncz();
    ASSERT_FALSE(p.zawieszony);
    EXPECT_NE(p.status, 0) << p.wyjscie;
    EXPECT_NE(p.wyjscie, "Weryfikacja OK!\n");
  }
}

// --- Reading into a file that cannot take the result

TEST(OdczytDoPliku, UnwritableTargetsKeepWhatTheyHeld) {
  Stanowisko s({});
  ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
  // A folder where the file should go.
  const std::string folder = s.plik("katalog.hex");
  fs::create_directory(folder);
  zapisz_plik(folder + "/w_srodku", "zostaje");
  Przebieg p = s.cli({"read-flash", folder});
  ASSERT_FALSE(p.zawieszony);
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.wyjscie, "Nie można zapisać pliku " + folder + ": to jest katalog\n");
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(czytaj_plik(folder + "/w_srodku"), bajty("zostaje"));

  // A folder that does not exist: refused before the programmer is touched.
  p = s.cli({"read-flash", s.plik("brak/odczyt.hex")});
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.wyjscie, "Nie można zapisać pliku " + s.plik("brak/odczyt.hex") + ": katalog " +
                           s.plik("brak") + " nie istnieje\n");

  // A device that refuses every byte: found only when the read is written, so the
  // operation failed (1), not the call.
  p = s.cli({"read-eeprom", "/dev/full"});
  ASSERT_FALSE(p.zawieszony);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.wyjscie, "Nie można zapisać pliku /dev/full\n");
}

// A read abandoned by the operator (the process is ended midway) leaves the old file.
TEST(OdczytDoPliku, InterruptedReadLeavesTheOldFile) {
  Stanowisko s({"--write-ms", "0", "--latency", "1"});
  ASSERT_TRUE(s.sim().dziala()) << s.sim().blad();
  const std::string plik = s.plik("odczyt.hex");
  const std::string stary = hex_obrazu(wzor(100, 5));
  zapisz_plik(plik, stary);
  std::vector<std::string> teksty{OSTREL_CLI,  "--port",     "2", "--device",
                                  "AT90S8515", "read-flash", plik};
  std::vector<char*> argv;
  for (auto& t : teksty) argv.push_back(t.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_CONFIG_HOME", s.sim().konfiguracja().c_str(), 1);
    const int nic = ::open("/dev/null", O_WRONLY);
    ::dup2(nic, 1);
    ::dup2(nic, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  // With a 1 ms latency per answer the whole read takes several seconds; end it once the
  // transfer is under way.
  const std::string dziennik = s.plik("wire.log");
  bool w_toku = false;
  for (int i = 0; i < 600 && !w_toku; ++i) {
    ::usleep(50000);
    w_toku = czytaj_dziennik(dziennik).size() > 200;
  }
  ::kill(pid, SIGTERM);
  int stan = 0;
  ::waitpid(pid, &stan, 0);
  s.zakoncz();
  EXPECT_TRUE(w_toku) << "the read never got under way";
  EXPECT_EQ(czytaj_plik(plik), bajty(stary));
  std::size_t pliki = 0;
  for (const auto& e : fs::directory_iterator(s.folder())) pliki += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(pliki, 3u) << "no temporary file left behind";
}

}  // namespace
}  // namespace ostrel::test
