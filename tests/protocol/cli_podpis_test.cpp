// ostrel-cli checks the chip before it writes and names the cause of every failure:
// the signature check, --device auto, the exit statuses against the simulator, the
// verify address, refusals before the line is touched, and an interrupted read.
#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

constexpr std::uint8_t A = 'A', C = 'C', D = 'D', L = 'L', P = 'P', R = 'R', T = 'T';
constexpr std::uint8_t c = 'c', e = 'e', l = 'l', s_ = 's';

struct Podpis : ::testing::Test {
  Pracownia pr;

  Symulator sim(int com, std::vector<std::string> opcje) {
    return symulator_na(pr, com, std::move(opcje));
  }
  std::vector<Krok> kroki(int com) { return kroki_na(pr, com); }
  WynikCli cli(std::vector<std::string> argumenty) { return uruchom_cli(pr, std::move(argumenty)); }
};

// The host's command bytes, one per step, after the search's probe.
std::vector<std::uint8_t> polecenia(const std::vector<Krok>& kroki) {
  std::vector<std::uint8_t> p;
  for (const Krok& k : kroki) {
    if (!k.host.empty()) p.push_back(k.host[0]);
  }
  return p;
}

bool wyslano(const std::vector<Krok>& kroki, const Bajty& host) {
  return std::any_of(kroki.begin(), kroki.end(), [&](const Krok& k) { return k.host == host; });
}

TEST_F(Podpis, MatchReadsTheSignatureBeforeTheWrite) {
  Symulator s = sim(2, {"--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0x12, 0x34}));
  const WynikCli w = cli({"--device", "AT90S2313", "program-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Weryfikacja OK!\n");
  EXPECT_NE(w.bledy.find("Sygnatura 1E 91 01: AT90S2313\n"), std::string::npos) << w.bledy;
  // Not a terminal: one line per phase at its end.
  EXPECT_NE(w.bledy.find("Programowanie 100%\nWeryfikacja 100%\n"), std::string::npos) << w.bledy;
  EXPECT_EQ(w.bledy.find('\r'), std::string::npos) << w.bledy;
  s.zatrzymaj();
  Rozmowa r;
  // The write goes on in the check's session: no second 'T' and 'P'.
  r({'S'}, 7)({T, 0x20}, 1)({P}, 1)({s_}, 3)({e}, 1)({L}, 1)({P}, 1);
  r({A, 0, 0}, 1)({c, 0x12}, 1)({C, 0x34}, 1)({P}, 1)({A, 0, 0}, 1)({R}, 2)({L}, 1);
  EXPECT_TRUE(ta_sama_rozmowa(kroki(2), r));
}

// The wrong part in the socket: refused before anything is written, with what was chosen,
// what was read and whose signature that is. --force writes and still says it.
TEST_F(Podpis, MismatchRefusedUnlessForced) {
  Symulator s = sim(2, {"--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0x12, 0x34}));
  const std::string tekst =
      "wybrano układ AT89C2051 (sygnatura 1E 21), a układ w podstawce ma sygnaturę 1E 91 01, "
      "czyli AT90S2313";
  for (const std::vector<std::string>& a :
       {std::vector<std::string>{"program-flash", pr / "a.hex"}, {"erase"}, {"write-lock", "1"}}) {
    std::vector<std::string> argumenty{"--device", "AT89C2051"};
    argumenty.insert(argumenty.end(), a.begin(), a.end());
    const WynikCli w = cli(argumenty);
    EXPECT_EQ(w.status, 5) << a[0] << w.bledy;
    EXPECT_EQ(w.wyjscie, "") << a[0];
    EXPECT_NE(
        w.bledy.find("ostrel-cli: " + tekst + "; nic nie zapisano (--force zapisuje mimo to)\n"),
        std::string::npos)
        << w.bledy;
    EXPECT_EQ(w.bledy.find("--help"), std::string::npos) << "not a call error";
  }
  // Reads and verifies are only warned.
  WynikCli w = cli({"--device", "AT89C2051", "verify-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 1) << w.bledy;
  EXPECT_NE(w.bledy.find("ostrel-cli: uwaga: " + tekst + "\n"), std::string::npos) << w.bledy;
  s.zatrzymaj();
  const auto wyslane = polecenia(kroki(2));
  for (std::uint8_t zapis : {e, c, C, D, l}) {
    EXPECT_EQ(std::count(wyslane.begin(), wyslane.end(), zapis), 0)
        << "sent " << static_cast<char>(zapis);
  }

  Symulator s3 = sim(3, {"--device", "AT90S2313"});
  ASSERT_TRUE(s3.dziala()) << s3.blad();
  w = cli({"--device", "AT90S8515", "--force", "--port", "3", "program-flash", pr / "a.hex"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_NE(w.bledy.find("ostrel-cli: wybrano układ AT90S8515 (sygnatura 1E 93 01), a układ w "
                         "podstawce ma sygnaturę 1E 91 01, czyli AT90S2313; --force: zapis mimo "
                         "to\n"),
            std::string::npos)
      << w.bledy;
  s3.zatrzymaj();
  EXPECT_TRUE(wyslano(kroki(3), {c, 0x12}));
}

// EEPROM programming is a write too: another part's EEPROM is left as it was.
TEST_F(Podpis, EepromWriteOnAnotherPartIsRefused) {
  Symulator s = sim(2, {"--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "e.eep", hex_z({0x12, 0x34}));
  const WynikCli w = cli({"--device", "AT90S8515", "program-eeprom", pr / "e.eep"});
  EXPECT_EQ(w.status, 5) << w.bledy;
  EXPECT_NE(w.bledy.find("; nic nie zapisano (--force zapisuje mimo to)\n"), std::string::npos)
      << w.bledy;
  s.zatrzymaj();
  const auto wyslane = polecenia(kroki(2));
  EXPECT_EQ(std::count(wyslane.begin(), wyslane.end(), D), 0) << opisz(kroki(2));
  EXPECT_TRUE(czytaj_plik(pr / "eeprom2.bin") == Bajty(128, 0xFF));
}

// Only the bytes the datasheet confirms are compared: an AT89S8252 whose third byte is not
// the table's is still the part chosen, and is recognised.
TEST_F(Podpis, UnconfirmedSignatureByteIsNotCompared) {
  Symulator s = sim(2, {"--device", "AT89S8252", "--signature", "1E,72,05"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  WynikCli w = cli({"--device", "AT89S8252", "erase"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_NE(w.bledy.find("Sygnatura 1E 72 05: AT89S8252\n"), std::string::npos) << w.bledy;
  w = cli({"--device", "auto", "erase"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_NE(w.bledy.find("Rozpoznano układ AT89S8252 (sygnatura 1E 72 05)\n"), std::string::npos)
      << w.bledy;
  s.zatrzymaj();
  const auto wyslane = polecenia(kroki(2));
  EXPECT_EQ(std::count(wyslane.begin(), wyslane.end(), e), 2) << opisz(kroki(2));
}

// No signature from the programmer: said, and the write goes on.
TEST_F(Podpis, NoAnswerWarnsAndGoesOn) {
  Symulator s = sim(2, {"--device", "AT90S2313", "--mute", "s"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "AT90S2313", "erase"});
  EXPECT_EQ(w.status, 0) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Układ skasowany\n");
  EXPECT_NE(w.bledy.find("ostrel-cli: programator nie podał sygnatury układu (odczytano: brak "
                         "odpowiedzi); nie można sprawdzić, czy w podstawce jest AT90S2313\n"),
            std::string::npos)
      << w.bledy;
  s.zatrzymaj();
  EXPECT_TRUE(wyslano(kroki(2), {e}));
}

// Without --device nothing is guessed: refused before the line is touched.
TEST_F(Podpis, NoDeviceRefusedBeforeTheSearch) {
  Symulator s = sim(2, {"--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  zapisz_plik(pr / "a.hex", hex_z({0x12, 0x34}));
  for (const std::vector<std::string>& a : {std::vector<std::string>{"program-flash", pr / "a.hex"},
                                            {"read-flash", pr / "b.hex"},
                                            {"info"}}) {
    const WynikCli w = cli(a);
    EXPECT_EQ(w.status, 2) << a[0];
    EXPECT_NE(w.bledy.find("wymaga układu: --device NAZWA (AT89C51, AT89C52, "), std::string::npos)
        << w.bledy;
    EXPECT_NE(w.bledy.find("AT90S8515, ATtiny13, "), std::string::npos) << w.bledy;
    EXPECT_NE(w.bledy.find("ATmega162) albo --device auto\n"), std::string::npos) << w.bledy;
  }
  EXPECT_EQ(cli({"detect"}).status, 0) << "the search alone needs no part";
  s.zatrzymaj();
  EXPECT_EQ(opisz(kroki(2)), Rozmowa()({'S'}, 7).tekst());
}

// --device auto tries the low-voltage serial modes only: never the device code 12.
struct Rozpoznanie {
  const char* nazwa;
  const char* w_podstawce;  // the simulator's chip; null: a programmer without 's'
  int status;
  const char* tekst;  // on standard error
};

void PrintTo(const Rozpoznanie& r, std::ostream* os) {
  *os << r.nazwa;
}

class Auto : public Podpis, public ::testing::WithParamInterface<Rozpoznanie> {};

TEST_P(Auto, IdentifiesOrRefuses) {
  const Rozpoznanie& r = GetParam();
  Symulator s = r.w_podstawce != nullptr ? sim(2, {"--device", r.w_podstawce})
                                         : sim(2, {"--device", "AT90S2313", "--mute", "s"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "auto", "erase"});
  EXPECT_EQ(w.status, r.status) << w.bledy;
  EXPECT_NE(w.bledy.find(r.tekst), std::string::npos) << w.bledy;
  s.zatrzymaj();
  const auto k = kroki(2);
  EXPECT_FALSE(wyslano(k, {T, 0x0C})) << opisz(k);
  EXPECT_EQ(wyslano(k, {e}), r.status == 0) << opisz(k);
}

// A chip that reads as another part in a foreign mode is taken only when its signature
// stands in that part's own mode: here the AT90S8515 gives the AT90S2313's signature under
// the AT90S1200's code, and its own under the AT90S2313's.
TEST_F(Podpis, AutoConfirmsTheSignatureInThePartsOwnMode) {
  Symulator s = sim(2, {"--device", "AT90S8515", "--signature-under", "0x13=1E,91,01"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  const WynikCli w = cli({"--device", "auto", "erase"});
  EXPECT_EQ(w.status, 2) << w.bledy;
  EXPECT_NE(w.bledy.find("--device auto: sygnatura 1E 91 01 (AT90S2313) nie potwierdziła się w "
                         "trybie tego układu (odczytano: 1E 93 01)"),
            std::string::npos)
      << w.bledy;
  s.zatrzymaj();
  const auto k = kroki(2);
  EXPECT_TRUE(wyslano(k, {T, 0x20})) << opisz(k);
  EXPECT_FALSE(wyslano(k, {e})) << opisz(k);
}

INSTANTIATE_TEST_SUITE_P(
    Podpis, Auto,
    ::testing::Values(
        Rozpoznanie{"Avr", "AT90S8515", 0, "Rozpoznano układ AT90S8515 (sygnatura 1E 93 01)\n"},
        Rozpoznanie{"At89s8252", "AT89S8252", 0,
                    "Rozpoznano układ AT89S8252 (sygnatura 1E 72 06)\n"},
        Rozpoznanie{"At89c", "AT89C2051", 2,
                    "--device auto: sygnatura 1E 21 FF to AT89C2051, programowany w trybie 12 V, "
                    "którego rozpoznawanie nie próbuje; podaj układ: --device NAZWA (AT89C51"},
        Rozpoznanie{"Silent", nullptr, 2,
                    "--device auto: układ nie podał sygnatury (odczytano: brak odpowiedzi); "
                    "podaj układ: --device NAZWA (AT89C51"}),
    [](const auto& info) { return std::string(info.param.nazwa); });

// Every exit status, each reached by a real scenario.
TEST_F(Podpis, ExitStatuses) {
  Symulator s2 = sim(2, {"--device", "AT90S2313"});
  Symulator s3 = sim(3, {"--silent"});
  ASSERT_TRUE(s2.dziala() && s3.dziala());
  zapisz_plik(pr / "a.hex", hex_z({0x12, 0x34}));
  EXPECT_EQ(cli({"--device", "AT90S2313", "--port", "2", "program-flash", pr / "a.hex"}).status, 0);
  zapisz_plik(pr / "b.hex", hex_z({0x12, 0x35}));
  WynikCli w = cli({"--device", "AT90S2313", "--port", "2", "verify-flash", pr / "b.hex"});
  EXPECT_EQ(w.status, 1) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Błąd weryfikacji pod adresem 0x0001: w pliku 0x35, w układzie 0x34\n");
  EXPECT_EQ(cli({"--port", "2", "erase"}).status, 2);
  w = cli({"--device", "AT90S2313", "--port", "3", "erase"});
  EXPECT_EQ(w.status, 3) << w.bledy;
  EXPECT_EQ(w.wyjscie, "Nie znaleziono programatora\n");
  w = cli({"--device", "AT90S2313", "--port", pr / "brak-portu", "erase"});
  EXPECT_EQ(w.status, 4) << w.bledy;
  EXPECT_EQ(w.bledy, "ostrel-cli: --port " + (pr / "brak-portu") + ": nie istnieje\n");
  w = cli({"--device", "AT89C2051", "--port", "2", "erase"});
  EXPECT_EQ(w.status, 5) << w.bledy;
  // The search over COM1..COM4 finds only the silent one: the links of the workshop that
  // lead nowhere are the cause the user can mend.
  s2.zatrzymaj();
  w = cli({"--device", "AT90S2313", "erase"});
  EXPECT_EQ(w.status, 4) << w.bledy;
  EXPECT_NE(w.bledy.find("ostrel-cli: com1: łącze " + (pr / "ostrel/com1") +
                         " prowadzi do /nonexistent/ostrel-test-port, którego nie ma; "),
            std::string::npos)
      << w.bledy;
  EXPECT_EQ(w.bledy.find("com3"), std::string::npos) << "com3 answered nothing; it is there";
  // `ports` shows such a link for what it is.
  w = cli({"ports"});
  EXPECT_NE(w.wyjscie.find("COM1: łącze " + (pr / "ostrel/com1") +
                           " -> /nonexistent/ostrel-test-port: nie istnieje (łącze prowadzi "
                           "donikąd;"),
            std::string::npos)
      << w.wyjscie;
}

// The address of the first difference is a byte address, also under paired addressing.
TEST_F(Podpis, VerifyNamesTheAddress) {
  zapisz_plik(pr / "chip.hex", hex_z({0, 1, 2, 3, 4, 5, 6, 7}));
  Symulator s2 = sim(2, {"--device", "AT89S8252", "--flash", pr / "chip.hex"});
  Symulator s3 = sim(3, {"--device", "AT90S1200", "--flash", pr / "chip.hex"});
  ASSERT_TRUE(s2.dziala() && s3.dziala());
  zapisz_plik(pr / "a.hex", hex_z({0, 1, 2, 3, 4, 5, 0x66, 7}));
  WynikCli w = cli({"--device", "AT89S8252", "--port", "2", "verify-flash", pr / "a.hex"});
  EXPECT_EQ(w.wyjscie, "Błąd weryfikacji pod adresem 0x0006: w pliku 0x66, w układzie 0x06\n");
  w = cli({"--device", "AT90S1200", "--port", "3", "verify-flash", pr / "a.hex"});
  EXPECT_EQ(w.wyjscie, "Błąd weryfikacji pod adresem 0x0006: w pliku 0x66, w układzie 0x06\n");
  zapisz_plik(pr / "b.hex", hex_z({0, 1, 2, 3, 4, 5, 6, 0x77}));
  w = cli({"--device", "AT90S1200", "--port", "3", "verify-flash", pr / "b.hex"});
  EXPECT_EQ(w.wyjscie, "Błąd weryfikacji pod adresem 0x0007: w pliku 0x77, w układzie 0x07\n");
  EXPECT_EQ(w.status, 1);
}

// A read's target that cannot be written, or an input that cannot be read, is refused
// before the line is touched, with its reason; so is an image too big for the part.
TEST_F(Podpis, FileReasonsBeforeTheLine) {
  Symulator s = sim(2, {"--device", "AT90S2313"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  ::mkdir((pr / "katalog").c_str(), 0755);
  struct Przypadek {
    std::vector<std::string> argumenty;
    std::string wyjscie;
  };
  const std::vector<Przypadek> przypadki = {
      {{"read-flash", pr / "katalog"},
       "Nie można zapisać pliku " + (pr / "katalog") + ": to jest katalog\n"},
      {{"read-eeprom", pr / "nie/ma.hex"},
       "Nie można zapisać pliku " + (pr / "nie/ma.hex") + ": katalog " + (pr / "nie") +
           " nie istnieje\n"},
      {{"verify-flash", pr / "brak.hex"},
       "Nie można otworzyć pliku " + (pr / "brak.hex") + ": nie istnieje\n"},
      {{"program-flash", pr / "katalog"},
       "Nie można otworzyć pliku " + (pr / "katalog") + ": to jest katalog\n"},
  };
  for (const Przypadek& p : przypadki) {
    std::vector<std::string> a{"--device", "AT90S2313"};
    a.insert(a.end(), p.argumenty.begin(), p.argumenty.end());
    const WynikCli w = cli(a);
    EXPECT_EQ(w.status, 2) << p.wyjscie;
    EXPECT_EQ(w.wyjscie, p.wyjscie);
  }
  zapisz_plik(pr / "duzy.hex", hex_z(Bajty(2050, 0)));
  const WynikCli w = cli({"--device", "AT90S2313", "program-flash", pr / "duzy.hex"});
  EXPECT_EQ(w.status, 2);
  EXPECT_EQ(w.wyjscie,
            "Plik HEX nie mieści się w pamięci układu: plik opisuje 2050 bajtów, pamięć flash "
            "układu AT90S2313 ma 2048 bajtów\n");
  s.zatrzymaj();
  EXPECT_EQ(opisz(kroki(2)), "") << "nothing was sent, not even the search";
}

// A device searched by its path once does not stand in for the numbered ports of a later
// search of the same program object.
TEST_F(Podpis, DevicePathDoesNotStickToTheNextSearch) {
  Symulator s2 = sim(2, {});
  Symulator s4 = sim(4, {});
  ASSERT_TRUE(s2.dziala() && s4.dziala());
  Programista prog;
  prog.p.sprawdz_urzadzenie(s2.pty());
  ASSERT_EQ(prog.p.brak_programatora, 0);
  prog.port.Close();
  prog.p.sprawdz_port(4);
  EXPECT_EQ(prog.p.znaleziony_port, 4);
  EXPECT_EQ(prog.p.status.Label1, "Znaleziono programator na com4");
  prog.port.Close();
  s2.zatrzymaj();
  s4.zatrzymaj();
  EXPECT_EQ(opisz(kroki(2)), Rozmowa()({'S'}, 7).tekst());
  EXPECT_EQ(opisz(kroki(4)), Rozmowa()({'S'}, 7).tekst());
}

// SIGINT, SIGTERM or SIGHUP during a read: the port's settings come back as they were
// found, the old file stays as it was and nothing is left beside it.
class Przerwanie : public Podpis, public ::testing::WithParamInterface<int> {};

TEST_P(Przerwanie, RestoresThePortAndKeepsTheFile) {
  Symulator s = sim(2, {"--device", "AT89C55"});
  ASSERT_TRUE(s.dziala()) << s.blad();
  // Settings no programmer would use, to be seen coming back.
  termios przed{};
  {
    const int fd = ::open(s.pty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::tcgetattr(fd, &przed), 0);
    ::cfsetispeed(&przed, B2400);
    ::cfsetospeed(&przed, B2400);
    przed.c_cflag |= PARENB;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &przed), 0);
    ASSERT_EQ(::tcgetattr(fd, &przed), 0);
    ::close(fd);
  }
  const std::string plik = pr / "odczyt.hex";
  zapisz_plik(plik, "stary odczyt\r\n");

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int n = ::open("/dev/null", O_WRONLY);
    ::dup2(n, STDOUT_FILENO);
    ::dup2(n, STDERR_FILENO);
    ::execl(OSTREL_CLI, OSTREL_CLI, "--device", "AT89C55", "--port", "2", "read-flash",
            plik.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Once addresses flow the read is under way (the whole chip takes far longer).
  bool w_toku = false;
  for (int i = 0; i < 400 && !w_toku; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    w_toku = czytaj_dziennik(pr / "wire2.log").size() > 300;
  }
  EXPECT_TRUE(w_toku) << "the read never got under way";
  ::kill(pid, GetParam());
  int stan = 0;
  const auto koniec = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(pid, &stan, WNOHANG) == 0 && std::chrono::steady_clock::now() < koniec)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (std::chrono::steady_clock::now() >= koniec) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &stan, 0);
    FAIL() << "did not end after the signal";
  }
  EXPECT_TRUE(WIFSIGNALED(stan) && WTERMSIG(stan) == GetParam()) << stan;

  termios po{};
  const int fd = ::open(s.pty().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << "the port is free again";
  ASSERT_EQ(::tcgetattr(fd, &po), 0);
  ::close(fd);
  EXPECT_EQ(::cfgetospeed(&po), ::cfgetospeed(&przed));
  EXPECT_EQ(po.c_cflag, przed.c_cflag);
  EXPECT_EQ(po.c_lflag, przed.c_lflag);
  EXPECT_EQ(po.c_iflag, przed.c_iflag);
  EXPECT_EQ(czytaj_plik(plik), bajty("stary odczyt\r\n"));
  std::size_t obok = 0;
  for (const auto& e : std::filesystem::directory_iterator(pr.sciezka()))
    obok += e.path().filename().string().rfind("odczyt.hex", 0) == 0 ? 1 : 0;
  EXPECT_EQ(obok, 1u) << "no temporary file beside it";
  s.zatrzymaj();
  EXPECT_TRUE(wyslano(kroki(2), {A, 0, 1})) << "the read had begun";
}

INSTANTIATE_TEST_SUITE_P(
    Podpis, Przerwanie, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& info) {
      return std::string(info.param == SIGINT ? "Int" : info.param == SIGTERM ? "Term" : "Hup");
    });

}  // namespace
}  // namespace ostrel::test
