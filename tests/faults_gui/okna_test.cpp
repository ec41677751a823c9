// Faults met by the desktop program itself, in process: broken settings files and a
// configuration folder that cannot be made; a programmer that falls silent or hangs up
// in the middle of an operation run by the scheduler. Every case ends within the answer
// bound with a clear text, leaves the program usable and loses no file.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include "hex/intel_hex.h"
#include "ui/pomoc.h"  // the window tests' helpers (tests/ui)

namespace ostrel::test {
namespace {

namespace fs = std::filesystem;
using Zegar = std::chrono::steady_clock;

constexpr double kGranicaCiszy = 5.0;  // the answer bound
constexpr double kZapas = 4.0;         // what a loaded machine under sanitizers may add
const QString kNieOdpowiada = QStringLiteral("Programator nie odpowiada");

// Presses `przycisk` and runs the operation it armed at once; returns its duration.
double wykonaj(Okna& o, QPushButton& przycisk) {
  przycisk.click();
  EXPECT_TRUE(o.Form1.Timer1.isActive()) << "the button armed nothing";
  const auto start = Zegar::now();
  tyknij(o);
  return std::chrono::duration<double>(Zegar::now() - start).count();
}

int indeks_ukladu(Okna& o, const QString& nazwa) {
  for (int i = 0; i < o.Form1.ComboBox1.count(); ++i) {
    if (o.Form1.ComboBox1.itemText(i).startsWith(nazwa)) return i;
  }
  return -1;
}

// The program after a load is in a state it can work from: some device applied (the
// file's or the defaults), a mode index the list has, a name that is whole text.
void sprawdz_stan(Okna& o) {
  const Programator& p = o.Form1.programator;
  EXPECT_TRUE(o.Form1.isEnabled());
  EXPECT_NE(p.kod_ukladu, 0) << "no device applied: the next operation would send code 0";
  EXPECT_NE(p.rozmiar_flash, 0);
  const int tryb = o.Form2.mode.currentIndex();
  EXPECT_TRUE(tryb >= -1 && tryb < o.Form2.mode.count()) << tryb;
  EXPECT_LE(QString::fromStdString(p.nazwa_pliku).size(), 255);
  EXPECT_EQ(QString::fromStdString(p.nazwa_pliku).toStdString(), p.nazwa_pliku)
      << "the name is not valid text";
}

// --- Settings files

class UstawieniaZepsute : public ::testing::Test {
 protected:
  // Starts the program on the settings file as it stands; errors are collected.
  void uruchom() {
    o.emplace();
    o->Form1.raport_bledu = [this](const QString& t) { bledy << t; };
    const auto start = Zegar::now();
    uruchom_start(*o);
    EXPECT_LE(std::chrono::duration<double>(Zegar::now() - start).count(), kGranicaCiszy + kZapas);
    o->Form3.Button1.click();  // no programmer: demo mode
  }
  Konfiguracja srodowisko;
  std::optional<Okna> o;
  QStringList bledy;
};

TEST_F(UstawieniaZepsute, EmptyTruncatedAndRandomFilesLoadIntoAUsableState) {
  std::vector<Bajty> pliki = {{}, {6}, {0x1A}, {11, 0x1A, 'x'}, {200, 200, 0x0D, 0x0A}};
  std::mt19937 los(1234);
  for (int i = 0; i < 12; ++i) {
    Bajty b(los() % 600);
    for (auto& v : b) v = static_cast<std::uint8_t>(los());
    pliki.push_back(std::move(b));
  }
  for (std::size_t i = 0; i < pliki.size(); ++i) {
    SCOPED_TRACE("file " + std::to_string(i) + " of " + std::to_string(pliki[i].size()) + " bytes");
    srodowisko.zapisz_ustawienia(pliki[i]);
    bledy.clear();
    uruchom();
    sprawdz_stan(*o);
    EXPECT_TRUE(bledy.isEmpty()) << bledy.join(' ').toStdString();
    // Closing stores what was loaded in a form that loads back the same.
    const std::string nazwa = o->Form1.programator.nazwa_pliku;
    const int uklad = o->Form1.ComboBox1.currentIndex();
    o->Form1.close();
    o.reset();
    if (nazwa.empty()) continue;
    uruchom();
    EXPECT_EQ(o->Form1.programator.nazwa_pliku, nazwa);
    EXPECT_EQ(o->Form1.ComboBox1.currentIndex(), uklad);
    o.reset();
  }
}

TEST_F(UstawieniaZepsute, AFolderInPlaceOfTheFileMeansDefaults) {
  fs::create_directory(srodowisko.plik_ustawien());
  uruchom();
  sprawdz_stan(*o);
  EXPECT_EQ(o->Form1.programator.kod_ukladu, 12) << "the AT89C2051 defaults";
  EXPECT_TRUE(bledy.isEmpty());
  // Closing with a name cannot replace a folder: reported, the folder stays, and the
  // program still ends.
  o->Form1.programator.nazwa_pliku = "/tmp/x.hex";
  o->Form1.close();
  EXPECT_EQ(bledy.size(), 1);
  EXPECT_TRUE(fs::is_directory(srodowisko.plik_ustawien()));
}

TEST_F(UstawieniaZepsute, AnUnreadableFileIsReportedAndTheDefaultsApply) {
  // A pipe opens, but yields no contents: the read fails at once instead of waiting.
  ASSERT_EQ(::mkfifo(srodowisko.plik_ustawien().c_str(), 0600), 0);
  uruchom();
  ASSERT_EQ(bledy.size(), 1);
  EXPECT_TRUE(bledy[0].startsWith(QStringLiteral("Błąd odczytu pliku ustawień ")))
      << bledy[0].toStdString();
  sprawdz_stan(*o);
  EXPECT_EQ(o->Form1.programator.kod_ukladu, 12) << "the AT89C2051 defaults";
  o.reset();
  if (::geteuid() != 0) {
    // Without root, a file without permissions counts as absent.
    fs::remove(srodowisko.plik_ustawien());
    srodowisko.zapisz_ustawienia({6, 2, 'a'});
    ::chmod(srodowisko.plik_ustawien().c_str(), 0);
    bledy.clear();
    uruchom();
    sprawdz_stan(*o);
    EXPECT_EQ(o->Form1.programator.kod_ukladu, 12);
  }
}

TEST_F(UstawieniaZepsute, AConfigurationFolderThatCannotBeMade) {
  // The configuration home is an ordinary file: nothing can be created under it. The
  // ports' links cannot exist either, so the search finds nothing.
  const std::string zwykly = srodowisko.plik("zwykly");
  Konfiguracja::zapisz_plik(zwykly, "x");
  ::setenv("XDG_CONFIG_HOME", zwykly.c_str(), 1);
  uruchom();
  sprawdz_stan(*o);
  EXPECT_TRUE(bledy.isEmpty());
  o->Form1.programator.nazwa_pliku = "/tmp/x.hex";
  bool zamkniete = false;
  QObject::connect(&o->Form1, &TForm1::zamkniete, [&] { zamkniete = true; });
  o->Form1.close();
  ASSERT_EQ(bledy.size(), 1);
  EXPECT_TRUE(bledy[0].startsWith(QStringLiteral("Nie można zapisać pliku ustawień ")))
      << bledy[0].toStdString();
  EXPECT_TRUE(zamkniete);
  EXPECT_EQ(Konfiguracja::czytaj_plik(zwykly), Bajty{'x'});
}

// --- The programmer fails during an operation

// Stops the simulator's process (a programmer that falls silent) once its wire log holds
// `linie` lines, and lets it go on when asked.
class Wstrzymanie {
 public:
  Wstrzymanie(pid_t pid, std::string dziennik, std::size_t linie)
      : pid_(pid), watek_([this, d = std::move(dziennik), linie] {
          while (!koniec_) {
            if (czytaj_dziennik(d).size() >= linie) {
              ::kill(pid_, SIGSTOP);
              chwila_ = Zegar::now();
              wstrzymany_ = true;
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~Wstrzymanie() { wznow(); }
  Wstrzymanie(const Wstrzymanie&) = delete;
  Wstrzymanie& operator=(const Wstrzymanie&) = delete;

  bool wstrzymany() const { return wstrzymany_; }
  Zegar::time_point chwila() const { return chwila_; }
  void wznow() {
    koniec_ = true;
    if (watek_.joinable()) watek_.join();
    if (wstrzymany_) ::kill(pid_, SIGCONT);
  }

 private:
  pid_t pid_;
  std::atomic<bool> koniec_{false};
  std::atomic<bool> wstrzymany_{false};
  Zegar::time_point chwila_;
  std::thread watek_;
};

class AwariaWTrakcie : public ::testing::Test {
 protected:
  void uruchom(std::vector<std::string> opcje = {}) {
    dziennik = srodowisko.plik("wire.log");
    zrzut = srodowisko.plik("eeprom.bin");
    opcje.insert(opcje.end(), {"--device", "AT90S8515", "--com", "2", "--log", dziennik,
                               "--dump-eeprom", zrzut});
    sim.emplace(opcje, kProgramSymulatora, srodowisko.sciezka());
    ASSERT_TRUE(sim->dziala()) << sim->blad();
    o.emplace();
    uruchom_start(*o);
    ASSERT_EQ(o->Form3.Label1.text(), QStringLiteral("Znaleziono programator na com2"));
    o->Form3.Button1.click();
    const int i = indeks_ukladu(*o, QStringLiteral("AT90S8515"));
    ASSERT_GE(i, 0);
    o->Form1.ComboBox1.setCurrentIndex(i);
    o->Form1.ComboBox1Change();
    o->Form1.wybor_pliku = [this](QFileDialog&) { return QString::fromStdString(plik); };
  }
  QString status() const { return o->Form3.Label1.text(); }

  Konfiguracja srodowisko{{2}};  // COM2 is left to the simulator
  std::optional<Symulator> sim;
  std::optional<Okna> o;
  std::string dziennik, zrzut;
  std::string plik = srodowisko.plik("eeprom.hex");
};

// The EEPROM of the AT90S8515 (512 bytes): short transfers, so each case stays brief.
Bajty obraz_eeprom() {
  Bajty b(512);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

TEST_F(AwariaWTrakcie, SilenceWhileProgrammingThenThePortServesTheNextOperation) {
  uruchom();
  const Bajty obraz = obraz_eeprom();
  zapisz_hex_pliku(plik, obraz);
  double czas = 0;
  {
    Wstrzymanie w(sim->pid(), dziennik, 600);
    czas = wykonaj(*o, o->Form1.Button6);  // program EEPROM
    ASSERT_TRUE(w.wstrzymany()) << "the operation ended before the silence";
    const double po_ciszy = std::chrono::duration<double>(Zegar::now() - w.chwila()).count();
    EXPECT_LE(po_ciszy, kGranicaCiszy + kZapas);
  }  // the programmer answers again
  EXPECT_EQ(status(), kNieOdpowiada);
  EXPECT_TRUE(o->Form1.isEnabled());
  EXPECT_TRUE(o->Form1.CommPortDriver1.IsOpen());
  // The late answers are thrown away by the polling between operations; the same port
  // then carries a whole program and verify.
  czekaj_ms(500);
  czas = wykonaj(*o, o->Form1.Button6);
  EXPECT_EQ(status(), QStringLiteral("Weryfikacja OK!")) << "after " << czas << " s";
  sim->zatrzymaj();
  EXPECT_EQ(Konfiguracja::czytaj_plik(zrzut), obraz);
}

TEST_F(AwariaWTrakcie, SilenceWhileReadingKeepsTheOldFile) {
  uruchom();
  const Bajty stary = {'s', 't', 'a', 'r', 'y', '\r', '\n'};
  Konfiguracja::zapisz_plik(plik, stary);
  {
    Wstrzymanie w(sim->pid(), dziennik, 400);
    wykonaj(*o, o->Form1.Button8);  // read EEPROM
    ASSERT_TRUE(w.wstrzymany()) << "the read ended before the silence";
    const double po_ciszy = std::chrono::duration<double>(Zegar::now() - w.chwila()).count();
    EXPECT_LE(po_ciszy, kGranicaCiszy + kZapas);
  }
  EXPECT_EQ(status(), kNieOdpowiada);
  EXPECT_EQ(Konfiguracja::czytaj_plik(plik), stary) << "an abandoned read must not touch the file";
  int pliki = 0;
  for (const auto& e : fs::directory_iterator(fs::path(plik).parent_path())) {
    pliki += e.path().filename().string().rfind("eeprom.hex", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(pliki, 1) << "no temporary file beside it";
  // Once the programmer answers again, the next read replaces the file whole.
  czekaj_ms(500);
  wykonaj(*o, o->Form1.Button8);
  Strumien tekst, obraz;
  ASSERT_TRUE(tekst.wczytaj_plik(plik));
  std::string wynik;
  konwertuj_hex(tekst, obraz, wynik);
  EXPECT_EQ(wynik, kKonwersjaOK);
  EXPECT_EQ(obraz.rozmiar(), 512u);
}

// An adapter unplugged mid-operation: the window names the port that went away, and once
// a programmer is behind the same link again the next operation finds it and succeeds,
// with no restart.
TEST_F(AwariaWTrakcie, HangUpIsToldAndThePluggedBackProgrammerServesTheNextOperation) {
  uruchom({"--hangup-after", "300"});
  const Bajty obraz = obraz_eeprom();
  zapisz_hex_pliku(plik, obraz);
  wykonaj(*o, o->Form1.Button6);
  EXPECT_EQ(status(), QString::fromStdString(
                          tekst_odlaczenia("com2 (" + srodowisko.plik("ostrel/com2") + ")")));
  EXPECT_TRUE(o->Form1.isEnabled());
  EXPECT_FALSE(o->Form1.CommPortDriver1.IsOpen()) << "the gone device is let go at once";

  sim.reset();
  sim.emplace(
      std::vector<std::string>{"--device", "AT90S8515", "--com", "2", "--dump-eeprom", zrzut},
      kProgramSymulatora, srodowisko.sciezka());
  ASSERT_TRUE(sim->dziala()) << sim->blad();
  wykonaj(*o, o->Form1.Button6);
  EXPECT_EQ(status(), QStringLiteral("Weryfikacja OK!"));
  sim->zatrzymaj();
  EXPECT_EQ(Konfiguracja::czytaj_plik(zrzut), obraz);
}

}  // namespace
}  // namespace ostrel::test
