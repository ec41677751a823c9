// The memory image and its atomic save.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "hex/narzedzia.h"

namespace ostrel::test {
namespace {

namespace fs = std::filesystem;

// Names in the folder other than the ones given: leftovers of an interrupted save.
std::vector<std::string> obce_pliki(const KatalogTymczasowy& kat,
                                    const std::set<std::string>& znane) {
  std::vector<std::string> obce;
  for (const auto& e : fs::directory_iterator(kat.sciezka())) {
    const std::string n = e.path().filename().string();
    if (!znane.count(n)) obce.push_back(n);
  }
  return obce;
}

TEST(Strumien, CzytanieIPisanieZPozycja) {
  Strumien s;
  std::uint8_t b = 0x77;
  EXPECT_FALSE(s.czytaj_bajt(b));
  EXPECT_EQ(b, 0x77) << "nothing at the end leaves the byte alone";
  s.zapisz_bajt(1);
  s.zapisz_bajt(2);
  EXPECT_EQ(s.rozmiar(), 2u);
  EXPECT_EQ(s.pozycja(), 2u);
  s.ustaw_pozycje(1);
  s.zapisz_bajt(9);  // overwrites, does not insert
  EXPECT_EQ(s.dane(), (Bajty{1, 9}));
  s.ustaw_pozycje(0);
  ASSERT_TRUE(s.czytaj_bajt(b));
  EXPECT_EQ(b, 1);
  ASSERT_TRUE(s.czytaj_bajt(b));
  EXPECT_EQ(b, 9);
  EXPECT_FALSE(s.czytaj_bajt(b));
  EXPECT_EQ(s.pozycja(), 2u);
}

TEST(Strumien, WczytanieCalegoPliku) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::mt19937 gen(3);
  const Bajty dane = losowe(200000, gen);  // more than one read chunk
  zapisz_plik(kat / "f.bin", dane);
  Strumien s(Bajty{1, 2, 3});
  s.ustaw_pozycje(2);
  ASSERT_TRUE(s.wczytaj_plik(kat / "f.bin"));
  EXPECT_EQ(s.dane(), dane);
  EXPECT_EQ(s.pozycja(), 0u);

  std::string blad;
  EXPECT_FALSE(s.wczytaj_plik(kat / "brak.bin", &blad));
  EXPECT_EQ(s.rozmiar(), 0u);
  EXPECT_FALSE(blad.empty());

  blad.clear();
  EXPECT_FALSE(s.wczytaj_plik(kat.sciezka(), &blad)) << "a folder is no file";
  EXPECT_FALSE(blad.empty());
}

// A file far bigger than memory (sparse, so it costs no disk) is refused before it is
// read, with the text the callers show; the limit lets a file of its own size through.
TEST(Strumien, PlikPonadLimitJestOdrzucanyPrzedCzytaniem) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  { std::ofstream f(kat / "olbrzym.hex", std::ios::binary); }
  ASSERT_EQ(::truncate((kat / "olbrzym.hex").c_str(), off_t{4} << 40), 0) << "4 TB, sparse";
  Strumien s(Bajty{1});
  std::string blad;
  EXPECT_FALSE(s.wczytaj_plik(kat / "olbrzym.hex", &blad));
  EXPECT_EQ(blad, kPlikZaDuzyDoWczytania);
  EXPECT_EQ(s.rozmiar(), 0u);

  zapisz_plik(kat / "f.bin", Bajty(10, 7));
  EXPECT_TRUE(s.wczytaj_plik(kat / "f.bin", &blad, 10));
  EXPECT_EQ(s.rozmiar(), 10u);
  EXPECT_FALSE(s.wczytaj_plik(kat / "f.bin", &blad, 9));
  EXPECT_EQ(blad, kPlikZaDuzyDoWczytania);
  EXPECT_EQ(s.rozmiar(), 0u);
}

TEST(ZapisAtomowy, TworzyIZastepujePlik) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const std::string cel = kat / "wy.hex";
  Strumien s(Bajty{'a', 'b', 'c'});
  ASSERT_TRUE(s.zapisz_plik(cel));
  EXPECT_EQ(czytaj_plik(cel), "abc");

  ::chmod(cel.c_str(), 0640);
  Strumien krotszy(Bajty{'z'});
  ASSERT_TRUE(krotszy.zapisz_plik(cel));
  EXPECT_EQ(czytaj_plik(cel), "z") << "replaced, not overwritten in place";
  struct stat st {};
  ASSERT_EQ(::stat(cel.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the old file's permissions stay";

  Strumien pusty;
  ASSERT_TRUE(pusty.zapisz_plik(cel));
  EXPECT_EQ(czytaj_plik(cel), "");
  EXPECT_TRUE(obce_pliki(kat, {"wy.hex"}).empty());
}

TEST(ZapisAtomowy, DowiazanieZostajeACelJestZastapiony) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  zapisz_plik(kat / "cel.bin", std::string("stary"));
  ASSERT_EQ(::symlink("cel.bin", (kat / "link.bin").c_str()), 0);
  Strumien s(Bajty{'n', 'o', 'w', 'y'});
  ASSERT_TRUE(s.zapisz_plik(kat / "link.bin"));
  EXPECT_TRUE(fs::is_symlink(kat / "link.bin"));
  EXPECT_EQ(czytaj_plik(kat / "cel.bin"), "nowy");

  // A chain of links leads to the same file.
  ASSERT_EQ(::symlink((kat / "link.bin").c_str(), (kat / "link2.bin").c_str()), 0);
  Strumien drugi(Bajty{'2'});
  ASSERT_TRUE(drugi.zapisz_plik(kat / "link2.bin"));
  EXPECT_TRUE(fs::is_symlink(kat / "link2.bin"));
  EXPECT_TRUE(fs::is_symlink(kat / "link.bin"));
  EXPECT_EQ(czytaj_plik(kat / "cel.bin"), "2");
}

TEST(ZapisAtomowy, CelBedacyKatalogiemNieJestRuszany) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  ASSERT_TRUE(fs::create_directory(kat / "wy.bin"));
  zapisz_plik(kat / "wy.bin/w_srodku", std::string("x"));
  std::string blad;
  Strumien s(Bajty{1, 2});
  EXPECT_FALSE(s.zapisz_plik(kat / "wy.bin", &blad));
  EXPECT_FALSE(blad.empty());
  EXPECT_TRUE(fs::is_directory(kat / "wy.bin"));
  EXPECT_EQ(czytaj_plik(kat / "wy.bin/w_srodku"), "x");
  EXPECT_TRUE(obce_pliki(kat, {"wy.bin"}).empty());
}

// Runs `cialo` in a child process so it can change its identity or limits without touching
// the test program; returns what the child returned.
template <typename F>
int w_procesie_potomnym(F cialo) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(cialo());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(ZapisAtomowy, KatalogBezPrawaZapisuZostawiaStaryPlik) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const std::string cel = kat / "wy.bin";
  zapisz_plik(cel, std::string("stara zawartosc"));
  ASSERT_EQ(::chmod(kat.sciezka().c_str(), 0555), 0);
  ::chmod(cel.c_str(), 0666);
  // Root writes anywhere, so the save runs as an unprivileged user then.
  const int wynik = w_procesie_potomnym([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    std::string blad;
    Strumien s(Bajty(5000, 0xAB));
    const bool ok = s.zapisz_plik(cel, &blad);
    return ok ? 0 : (blad.empty() ? 2 : 1);
  });
  ::chmod(kat.sciezka().c_str(), 0755);
  ASSERT_NE(wynik, 3) << "could not drop privileges";
  EXPECT_EQ(wynik, 1) << "the save must fail and say why";
  EXPECT_EQ(czytaj_plik(cel), "stara zawartosc");
  EXPECT_TRUE(obce_pliki(kat, {"wy.bin"}).empty());
}

TEST(ZapisAtomowy, PrzerwanyZapisNieZostawiaPolowyPliku) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const std::string cel = kat / "wy.bin";
  zapisz_plik(cel, std::string("stara zawartosc"));
  // A file size limit makes the write fail part way, as a full disk would.
  const int wynik = w_procesie_potomnym([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {};
    lim.rlim_cur = lim.rlim_max = 4096;
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 3;
    Strumien s(Bajty(100000, 0xAB));
    return s.zapisz_plik(cel) ? 0 : 1;
  });
  ASSERT_NE(wynik, 3);
  EXPECT_EQ(wynik, 1);
  EXPECT_EQ(czytaj_plik(cel), "stara zawartosc");
  EXPECT_TRUE(obce_pliki(kat, {"wy.bin"}).empty());
}

TEST(ZapisAtomowy, NowyPlikDostajePrawaWedlugUmask) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  const mode_t stara = ::umask(027);
  const bool ok = zapisz_atomowo(kat / "nowy.bin", "x", 1);
  ::umask(stara);
  ASSERT_TRUE(ok);
  struct stat st {};
  ASSERT_EQ(::stat((kat / "nowy.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ZapisAtomowy, UrzadzenieJestZapisywaneANieZastepowane) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  // A private copy of /dev/null, so a failure here cannot harm the real one.
  const std::string wezel = kat / "null";
  if (::mknod(wezel.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
    GTEST_SKIP() << "cannot create a device node here";
  }
  std::string blad;
  EXPECT_TRUE(zapisz_atomowo(wezel, "abc", 3, &blad)) << blad;
  struct stat st {};
  ASSERT_EQ(::stat(wezel.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device node must survive";
  EXPECT_TRUE(obce_pliki(kat, {"null"}).empty());
}

TEST(Strumien, PotokNieJestWczytywanyINieBlokuje) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  ASSERT_EQ(::mkfifo((kat / "potok").c_str(), 0600), 0);
  Strumien s;
  std::string blad;
  EXPECT_FALSE(s.wczytaj_plik(kat / "potok", &blad));
  EXPECT_FALSE(blad.empty());
}

TEST(ZapisAtomowy, BrakKataloguDocelowego) {
  KatalogTymczasowy kat;
  ASSERT_FALSE(kat.sciezka().empty());
  std::string blad;
  EXPECT_FALSE(zapisz_atomowo(kat / "nie/ma/wy.bin", "x", 1, &blad));
  EXPECT_FALSE(blad.empty());
  EXPECT_TRUE(obce_pliki(kat, {}).empty());
}

}  // namespace
}  // namespace ostrel::test
