// The settings file: its bytes, the code page of the name, its place, and the save at
// close and the load at start through the windows.
#include "ui/ustawienia.h"

#include <sys/stat.h>

#include "pomoc.h"

namespace ostrel::test {
namespace {

using B = std::vector<std::uint8_t>;

B z_tekstem(std::initializer_list<std::uint8_t> poczatek, std::string_view reszta) {
  B b(poczatek);
  b.insert(b.end(), reszta.begin(), reszta.end());
  return b;
}

TEST(UstawieniaBajty, LayoutAndTheEndOfFileQuirk) {
  const std::string nazwa = "C:/hex/program01.hex";  // 20 characters
  ASSERT_EQ(nazwa.size(), 20u);
  const B b = zapisz_ustawienia(6, 2, nazwa);
  EXPECT_EQ(b, z_tekstem({6, 2}, nazwa));
  const Ustawienia u = czytaj_ustawienia(b);
  EXPECT_EQ(u.urzadzenie, 6);
  EXPECT_EQ(u.tryb, 2);
  EXPECT_EQ(u.nazwa, nazwa);

  // No selection is stored as 255 and comes back as 255.
  EXPECT_EQ(zapisz_ustawienia(-1, -1, "a")[0], 255);
  EXPECT_EQ(czytaj_ustawienia(zapisz_ustawienia(-1, -1, "a")).tryb, 255);

  // An empty file reads 0x1A for both indexes and an empty name.
  const Ustawienia pusty = czytaj_ustawienia({});
  EXPECT_EQ(pusty.urzadzenie, 26);
  EXPECT_EQ(pusty.tryb, 26);
  EXPECT_EQ(pusty.nazwa, "");
  // One byte: the mode meets the end.
  EXPECT_EQ(czytaj_ustawienia({3}).tryb, 26);
  // A stored 0x1A is never consumed: everything after it reads 0x1A and no name.
  const Ustawienia zablokowany = czytaj_ustawienia(z_tekstem({0x1A, 1}, "abc"));
  EXPECT_EQ(zablokowany.urzadzenie, 26);
  EXPECT_EQ(zablokowany.tryb, 26);
  EXPECT_EQ(zablokowany.nazwa, "");
  EXPECT_EQ(czytaj_ustawienia(z_tekstem({4, 0x1A}, "abc")).nazwa, "");
  // The name ends at CR or 0x1A; LF is part of it; an index of 10 (LF) is 10.
  EXPECT_EQ(czytaj_ustawienia(z_tekstem({10, 0}, "ab\ncd\ref")).nazwa, "ab\ncd");
  EXPECT_EQ(czytaj_ustawienia(z_tekstem({10, 0},
                                        "ab\x1A"
                                        "cd"))
                .nazwa,
            "ab");
  EXPECT_EQ(czytaj_ustawienia(z_tekstem({10, 0}, "x")).urzadzenie, 10);
  // At most 255 bytes of name.
  EXPECT_EQ(czytaj_ustawienia(z_tekstem({0, 0}, std::string(300, 'n'))).nazwa.size(), 255u);
}

TEST(UstawieniaBajty, NameInCodePage1250) {
  const std::string polska = "/dane/źródła/łódź ĄĘŚ.hex";
  const B b = zapisz_ustawienia(1, 0, polska);
  // Single-byte characters: ź is 0x9F, ł 0xB3, Ą 0xA5.
  EXPECT_EQ(b.size(), 2 + liczba_znakow(polska));
  EXPECT_EQ(b[2 + 6], 0x9F);
  EXPECT_EQ(czytaj_ustawienia(b).nazwa, polska);
  // Every byte value 0x20..0xFF goes through both conversions unchanged.
  std::string wszystkie;
  for (int c = 0x20; c <= 0xFF; ++c) wszystkie += static_cast<char>(c);
  const auto utf8 = cp1250_na_utf8(wszystkie);
  EXPECT_EQ(utf8_na_cp1250(utf8), wszystkie);

  // What the code page cannot hold, or what would read back as another name, is left
  // out: the file holds the indexes only.
  EXPECT_EQ(zapisz_ustawienia(4, 1, "/tmp/日本.hex"), (B{4, 1}));
  EXPECT_EQ(zapisz_ustawienia(4, 1, "/tmp/\xff\xfe.hex"), (B{4, 1})) << "not UTF-8";
  EXPECT_EQ(zapisz_ustawienia(4, 1, "/tmp/a\rb.hex"), (B{4, 1}));
  EXPECT_EQ(zapisz_ustawienia(4, 1,
                              "/tmp/a\x1A"
                              "b.hex"),
            (B{4, 1}));
  EXPECT_EQ(zapisz_ustawienia(4, 1, std::string(256, 'x')), (B{4, 1}));
  EXPECT_EQ(zapisz_ustawienia(4, 1, std::string(255, 'x')).size(), 257u);
}

TEST(UstawieniaBajty, PathFollowsXdgConfigHome) {
  const char* stara = std::getenv("XDG_CONFIG_HOME");
  const std::string kopia = stara != nullptr ? stara : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg/x", 1);
  EXPECT_EQ(sciezka_ustawien(), "/cfg/x/ostrel/Ostrel.cf");
  const std::string dom = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(sciezka_ustawien(), dom + "/.config/ostrel/Ostrel.cf");
  ::setenv("XDG_CONFIG_HOME", "wzgledna", 1);
  EXPECT_EQ(sciezka_ustawien(), dom + "/.config/ostrel/Ostrel.cf") << "relative is ignored";
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(sciezka_ustawien(), dom + "/.config/ostrel/Ostrel.cf");
  // Neither gives a folder: nothing to load, and saving says why instead of writing the
  // file relative to wherever the program was started.
  ::setenv("HOME", "wzgledny", 1);
  EXPECT_EQ(sciezka_ustawien(), "");
  std::string blad;
  EXPECT_FALSE(zapisz_plik_ustawien(sciezka_ustawien(), {0, 0}, blad));
  EXPECT_NE(blad.find("ani XDG_CONFIG_HOME, ani HOME"), std::string::npos) << blad;
  ::setenv("HOME", dom.c_str(), 1);
  if (stara != nullptr) ::setenv("XDG_CONFIG_HOME", kopia.c_str(), 1);
}

TEST(UstawieniaBajty, ExistenceTestNeverReports) {
  KatalogTymczasowy k;
  EXPECT_FALSE(plik_istnieje(k / "brak"));
  EXPECT_FALSE(plik_istnieje(k.sciezka())) << "a folder is not a settings file";
  Konfiguracja::zapisz_plik(k / "jest", "x");
  EXPECT_TRUE(plik_istnieje(k / "jest"));
  if (::geteuid() != 0) {
    ::chmod((k / "jest").c_str(), 0444);
    EXPECT_FALSE(plik_istnieje(k / "jest")) << "read-only counts as absent";
  }
}

class UstawieniaOkien : public ::testing::Test {
 protected:
  Konfiguracja konfiguracja;
};

TEST_F(UstawieniaOkien, RoundTripThroughTwoRuns) {
  const std::string nazwa = "/tmp/ostrel/abcd.hex";  // 20 characters
  ASSERT_EQ(nazwa.size(), 20u);
  {
    Okna o;
    uruchom_start(o);
    o.Form1.ComboBox1.setCurrentIndex(6);
    o.Form1.ComboBox1Change();
    o.Form2.mode.setCurrentIndex(2);
    o.Form2.modeChange();
    o.Form1.wybor_pliku = [&](QFileDialog&) { return QString::fromStdString(nazwa); };
    o.Form1.przegladaj();
    o.Form1.close();
  }
  EXPECT_EQ(konfiguracja.ustawienia(), z_tekstem({6, 2}, nazwa));

  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), 6);
  EXPECT_EQ(o.Form1.ComboBox1.currentText(), QStringLiteral("AT89S8252"));
  EXPECT_EQ(o.Form1.programator.kod_ukladu, 134);
  EXPECT_TRUE(o.Form1.GroupBox3.isEnabled());
  EXPECT_EQ(o.Form2.mode.currentIndex(), 2);
  // modeChange ran: the third mode's texts and lock byte.
  EXPECT_EQ(o.Form2.opis_modu.text(), QStringLiteral("B1 [ x ] ; B2 [ x ] ; B3 [  ]"));
  EXPECT_EQ(o.Form1.programator.bity_lock, 63);
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, nazwa);
  EXPECT_EQ(o.Form1.Label1.text(), QString::fromStdString(nazwa));
}

// `ostrel FILE.hex`: the file given wins over the file of the settings, the device and
// mode still come from them.
TEST_F(UstawieniaOkien, FileGivenAtStartWinsOverTheSettings) {
  konfiguracja.zapisz_ustawienia(z_tekstem({6, 2}, "/tmp/ostrel/stary.hex"));
  Okna o;
  o.Form1.ustaw_plik_startowy(QStringLiteral("/tmp/ostrel/nowy.hex"));
  uruchom_start(o);
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, "/tmp/ostrel/nowy.hex");
  EXPECT_EQ(o.Form1.Label1.text(), QStringLiteral("/tmp/ostrel/nowy.hex"));
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), 6);
}

TEST_F(UstawieniaOkien, NoFileGivesTheDefaults) {
  Okna o;
  uruchom_start(o);
  const Programator& p = o.Form1.programator;
  EXPECT_EQ(p.rozmiar_flash, 1024);
  EXPECT_EQ(p.rozmiar_eeprom, 0);
  EXPECT_EQ(p.adresowanie_bajtowe, 0);
  EXPECT_EQ(p.kod_ukladu, 12);
  EXPECT_FALSE(o.Form1.GroupBox3.isEnabled());
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), -1);
  EXPECT_EQ(o.Form1.ComboBox1.currentText(), QStringLiteral("AT89C2051"));
  // The AT89C2051's own list of three modes.
  EXPECT_EQ(o.Form2.mode.count(), 3);
  EXPECT_EQ(o.Form2.mode.itemText(2), QStringLiteral("Tryb 2"));
  EXPECT_EQ(o.Form2.mode.currentIndex(), -1);
  EXPECT_EQ(o.Form1.Label1.text(), QString());
  EXPECT_TRUE(p.nazwa_pliku.empty());
}

TEST_F(UstawieniaOkien, IndexOutsideTheListGivesTheDefaultsThenTheMode) {
  // 255 is what a run that kept the default device stores.
  konfiguracja.zapisz_ustawienia(z_tekstem({255, 1}, "/tmp/x.hex"));
  Okna o;
  uruchom_start(o);
  const Programator& p = o.Form1.programator;
  EXPECT_EQ(p.rozmiar_flash, 1024);
  EXPECT_EQ(p.kod_ukladu, 12);
  EXPECT_EQ(p.adresowanie_bajtowe, 0);
  EXPECT_FALSE(o.Form1.GroupBox3.isEnabled());
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), -1);
  EXPECT_EQ(o.Form1.ComboBox1.currentText(), QStringLiteral("AT89C2051"));
  // The mode index is applied after the device, on the AT89C2051's three-mode list.
  EXPECT_EQ(o.Form2.mode.currentIndex(), 1);
  EXPECT_EQ(p.bity_lock, 253);
  EXPECT_EQ(p.nazwa_pliku, "/tmp/x.hex");
}

TEST_F(UstawieniaOkien, EmptyFileGivesTheDefaultsAndNoName) {
  konfiguracja.zapisz_ustawienia({});
  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.programator.kod_ukladu, 12);
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), -1);
  EXPECT_EQ(o.Form2.mode.currentIndex(), 0) << "26 is no mode of the list: Tryb 0";
  EXPECT_TRUE(o.Form1.programator.nazwa_pliku.empty());
}

// A mode index the device's list does not hold (the AT89C2051 has three modes) selects
// and applies "Tryb 0" rather than leaving no mode selected.
TEST_F(UstawieniaOkien, ModeIndexOutsideTheListSelectsModeZero) {
  konfiguracja.zapisz_ustawienia(z_tekstem({4, 3}, "/tmp/x.hex"));
  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.ComboBox1.currentText(), QStringLiteral("AT89C2051"));
  EXPECT_EQ(o.Form2.mode.count(), 3);
  EXPECT_EQ(o.Form2.mode.currentIndex(), 0);
  EXPECT_EQ(o.Form2.opis_modu.text(), QStringLiteral("B1 [  ] ; B2 [  ]"));
  EXPECT_EQ(o.Form1.programator.bity_lock, 255);
}

TEST_F(UstawieniaOkien, IndexTenIsAnLfAndStillTen) {
  konfiguracja.zapisz_ustawienia(z_tekstem({10, 0}, "/tmp/a\nb.hex"));
  Okna o;
  uruchom_start(o);
  EXPECT_EQ(o.Form1.ComboBox1.currentIndex(), 10);
  EXPECT_EQ(o.Form1.programator.kod_ukladu, 40);
  EXPECT_EQ(o.Form1.programator.nazwa_pliku, "/tmp/a\nb.hex");
}

TEST_F(UstawieniaOkien, SaveCreatesTheFolderAndLeavesNoTemporaryFile) {
  std::filesystem::remove_all(konfiguracja.sciezka() + "/ostrel");
  {
    Okna o;
    o.Form1.programator.nazwa_pliku = "/tmp/łódź.hex";
    o.Form1.close();
  }
  EXPECT_EQ(konfiguracja.ustawienia(), z_tekstem({255, 255},
                                                 "/tmp/\xB3\xF3"
                                                 "d\x9F.hex"));
  int pliki = 0;
  for ([[maybe_unused]] const auto& w :
       std::filesystem::directory_iterator(konfiguracja.sciezka() + "/ostrel")) {
    ++pliki;
  }
  EXPECT_EQ(pliki, 1);
}

}  // namespace
}  // namespace ostrel::test
