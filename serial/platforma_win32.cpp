// The serial platform on Windows: the component's calls map one to one onto the Win32
// communications API.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "serial/platforma.h"
#include "serial/tekst_win32.h"

namespace ostrel {

namespace {

static_assert(sizeof(DCB) == sizeof(BlokDCB), "BlokDCB mirrors the Win32 DCB");
static_assert(sizeof(COMMTIMEOUTS) == sizeof(CzasyPortu), "CzasyPortu mirrors COMMTIMEOUTS");

HANDLE jako_handle(Uchwyt h) {
  return reinterpret_cast<HANDLE>(h);
}

// "COM7" from "\\.\COM7" or "COM7"; 0 for anything else.
int numer_com(const std::string& nazwa) {
  std::string s = nazwa;
  if (s.rfind("\\\\.\\", 0) == 0) s.erase(0, 4);
  if (s.size() < 4 || _strnicmp(s.c_str(), "COM", 3) != 0) return 0;
  int n = 0;
  for (std::size_t i = 3; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9' || n > 255) return 0;
    n = n * 10 + (s[i] - '0');
  }
  return s[3] == '0' ? 0 : n;
}

// Whether the system knows a device of that name (without opening it).
bool jest_urzadzenie(const std::string& nazwa) {
  char cel[1024];
  return QueryDosDeviceA(nazwa.c_str(), cel, sizeof cel) != 0;
}

class PlatformaWin32 final : public PlatformaSzeregowa {
 public:
  PlatformaWin32() {
    // Waits of one millisecond last one millisecond, not a scheduler quantum.
    rozdzielczosc_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  ~PlatformaWin32() override {
    while (!otwarte_.empty()) zamknij(otwarte_.begin()->first);
    if (rozdzielczosc_) timeEndPeriod(1);
  }

  Uchwyt otworz(const std::string& nazwa) override {
    blad_ = {};
    std::string sciezka = nazwa;
    // A bare COMn goes through the device namespace, which also reaches COM10 and above.
    if (numer_com(sciezka) != 0 && sciezka.rfind("\\\\.\\", 0) != 0) sciezka = "\\\\.\\" + nazwa;
    blad_.urzadzenie = sciezka.rfind("\\\\.\\", 0) == 0 ? sciezka.substr(4) : sciezka;
    HANDLE h = CreateFileA(sciezka.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = GetLastError();
      switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_NAME:
          blad_.powod = PowodBledu::brak_urzadzenia;
          blad_.urzadzenie.clear();
          break;
        // A serial port opens once: a second opener is refused access.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
          blad_.powod = PowodBledu::zajety;
          break;
        default:
          blad_.powod = PowodBledu::inny;
          blad_.szczegoly = tekst_bledu_systemu(e);
          break;
      }
      return kNieprawidlowyUchwyt;
    }
    // Anything that has no line state (a file, a printer) is no serial port.
    Otwarty o;
    o.stan.DCBlength = sizeof(DCB);
    if (!GetCommState(h, &o.stan)) {
      CloseHandle(h);
      blad_.powod = PowodBledu::nie_port;
      return kNieprawidlowyUchwyt;
    }
    o.czasy_odczytane = GetCommTimeouts(h, &o.czasy) != 0;
    const Uchwyt u = reinterpret_cast<Uchwyt>(h);
    otwarte_[u] = o;
    return u;
  }

  bool ustaw_stan(Uchwyt h, const BlokDCB& blok) override {
    if (!nasz(h)) return false;
    DCB dcb;
    std::memcpy(&dcb, &blok, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (SetCommState(jako_handle(h), &dcb)) return true;
    // Some drivers (a pseudo-terminal under Wine) cannot drive the modem lines: the line
    // state is set all the same, only the failure is noted.
    zanotuj("SetCommState");
    return false;
  }

  bool ustaw_kolejki(Uchwyt h, std::uint32_t we, std::uint32_t wy) override {
    return nasz(h) && SetupComm(jako_handle(h), we, wy) != 0;
  }

  bool ustaw_czasy(Uchwyt h, const CzasyPortu& czasy) override {
    if (!nasz(h)) return false;
    COMMTIMEOUTS t;
    std::memcpy(&t, &czasy, sizeof t);
    return SetCommTimeouts(jako_handle(h), &t) != 0;
  }

  // The purge bits are Win32's PURGE_* values.
  bool oczysc(Uchwyt h, std::uint32_t maska) override {
    return nasz(h) && PurgeComm(jako_handle(h), maska) != 0;
  }

  bool stan_kolejek(Uchwyt h, std::uint32_t& we, std::uint32_t& wy, Czekanie c) override {
    we = wy = 0;
    if (!nasz(h)) return false;
    DWORD bledy = 0;
    COMSTAT stan{};
    if (!ClearCommError(jako_handle(h), &bledy, &stan)) {
      // A port gone bad must not be polled in a tight loop.
      Sleep(1);
      return false;
    }
    we = stan.cbInQue;
    wy = stan.cbOutQue;
    // Nothing to read yet: one millisecond, the resolution of the caller's clock.
    if (we == 0 && c == Czekanie::na_wejscie) Sleep(1);
    return true;
  }

  bool linie_modemu(Uchwyt h, std::uint32_t& bity) override {
    bity = 0;
    if (!nasz(h)) return false;
    DWORD stan = 0;
    if (!GetCommModemStatus(jako_handle(h), &stan)) {
      zanotuj("GetCommModemStatus");
      return false;
    }
    bity = stan & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    return true;
  }

  bool czytaj(Uchwyt h, void* bufor, std::uint32_t n, std::uint32_t& przeczytane) override {
    przeczytane = 0;
    if (!nasz(h)) return false;
    DWORD ile = 0;
    const bool ok = ReadFile(jako_handle(h), bufor, n, &ile, nullptr) != 0;
    przeczytane = ile <= n ? ile : 0;  // a driver that claims more than was asked lies
    return ok;
  }

  bool pisz(Uchwyt h, const void* dane, std::uint32_t n, std::uint32_t& zapisane) override {
    zapisane = 0;
    if (!nasz(h)) return false;
    DWORD ile = 0;
    const bool ok = WriteFile(jako_handle(h), dane, n, &ile, nullptr) != 0;
    zapisane = ile <= n ? ile : 0;
    return ok;
  }

  // The line state and time-outs found at the open are put back, as a program that
  // borrowed the port should leave it.
  bool zamknij(Uchwyt h) override {
    auto it = otwarte_.find(h);
    if (it == otwarte_.end()) return false;
    HANDLE uchwyt = jako_handle(h);
    SetCommState(uchwyt, &it->second.stan);
    if (it->second.czasy_odczytane) SetCommTimeouts(uchwyt, &it->second.czasy);
    otwarte_.erase(it);
    return CloseHandle(uchwyt) != 0;
  }

  std::uint32_t licznik_ms() override { return GetTickCount(); }

  bool wersja(WersjaSystemu& w) override {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&v)) return false;
#pragma GCC diagnostic pop
    w.PlatformId = v.dwPlatformId;
    w.MajorVersion = v.dwMajorVersion;
    w.MinorVersion = v.dwMinorVersion;
    return true;
  }

  BladOtwarcia blad_otwarcia() const override {
    return blad_;
  }

  // COMn is the system's own name: there is no choice to describe, only whether the port
  // is there and free. Whether it is free shows only by opening it.
  std::vector<OpisPortu> opisz_porty(int ile) override {
    std::vector<OpisPortu> wynik;
    for (int n = 1; n <= ile; ++n) {
      OpisPortu o;
      o.numer = n;
      o.skad = Przypisanie::domyslne;
      o.urzadzenie = "COM" + std::to_string(n);
      o.istnieje = jest_urzadzenie(o.urzadzenie);
      if (o.istnieje) {
        const std::string nazwa = "\\\\.\\" + o.urzadzenie;
        HANDLE h = CreateFileA(nazwa.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD e = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (h != INVALID_HANDLE_VALUE) {
          DCB dcb{};
          dcb.DCBlength = sizeof dcb;
          o.terminal = GetCommState(h, &dcb) != 0;
          CloseHandle(h);
        } else {
          o.terminal = true;
        }
        o.dostep = true;
        o.zajety = e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION;
        if (e != 0 && !o.zajety) {
          o.dostep = false;
          o.rada = tekst_bledu_systemu(e);
        }
      }
      wynik.push_back(o);
    }
    return wynik;
  }

  // The serial ports the system has: the SERIALCOMM map of the registry (port name and
  // the driver's device), else every COMn the device namespace knows.
  std::vector<UrzadzenieSzeregowe> urzadzenia() override {
    std::map<int, UrzadzenieSzeregowe> porty;
    HKEY klucz = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &klucz) ==
        ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        char nazwa[256];
        BYTE dane[256];
        DWORD dl_nazwy = sizeof nazwa, dl_danych = sizeof dane - 1, typ = 0;
        const LONG r = RegEnumValueA(klucz, i, nazwa, &dl_nazwy, nullptr, &typ, dane, &dl_danych);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || typ != REG_SZ) continue;
        dane[dl_danych] = 0;
        const std::string port(reinterpret_cast<const char*>(dane));
        const int n = numer_com(port);
        if (n != 0) porty[n] = {port, std::string(nazwa, dl_nazwy)};
      }
      RegCloseKey(klucz);
    }
    if (porty.empty()) {
      std::vector<char> lista(65536);
      const DWORD dl = QueryDosDeviceA(nullptr, lista.data(), static_cast<DWORD>(lista.size()));
      for (DWORD i = 0; i < dl && lista[i] != '\0';) {
        const std::string nazwa(&lista[i]);
        i += static_cast<DWORD>(nazwa.size()) + 1;
        const int n = numer_com(nazwa);
        if (n == 0) continue;
        char cel[1024];
        const std::string dokad =
            QueryDosDeviceA(nazwa.c_str(), cel, sizeof cel) != 0 ? std::string(cel) : "";
        porty[n] = {"COM" + std::to_string(n), dokad};
      }
    }
    std::vector<UrzadzenieSzeregowe> wynik;
    for (auto& [n, u] : porty) wynik.push_back(u);
    return wynik;
  }

 private:
  struct Otwarty {
    DCB stan{};
    COMMTIMEOUTS czasy{};
    bool czasy_odczytane = false;
  };

  bool nasz(Uchwyt h) const {
    return otwarte_.count(h) != 0;
  }

  // A failure the port works on despite: into the system's debug log, never on the screen.
  static void zanotuj(const char* wywolanie) {
    char t[160];
    std::snprintf(t, sizeof t, "ostrel: %s: błąd %lu (zignorowany)\n", wywolanie,
                  static_cast<unsigned long>(GetLastError()));
    OutputDebugStringA(t);
  }

  std::map<Uchwyt, Otwarty> otwarte_;
  BladOtwarcia blad_;
  bool rozdzielczosc_ = false;
};

}  // namespace

std::unique_ptr<PlatformaSzeregowa> utworz_platforme_win32() {
  return std::make_unique<PlatformaWin32>();
}

std::unique_ptr<PlatformaSzeregowa> utworz_platforme() {
  return utworz_platforme_win32();
}

}  // namespace ostrel
