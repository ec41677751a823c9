#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/system.h"
#include "serial/tekst_win32.h"

namespace ostrel::cli {

namespace {

// Where the console handler puts the interruption; set once, before it is installed.
// Lock-free, so a signal handler may set it.
std::atomic<int>* g_flaga = nullptr;

BOOL WINAPI przy_zdarzeniu(DWORD rodzaj) {
  if (g_flaga == nullptr) return FALSE;
  switch (rodzaj) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      *g_flaga = SIGINT;
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this returns: wait here (within the
      // system's five seconds) while the main thread hands the port back and exits.
      *g_flaga = SIGTERM;
      Sleep(4000);
      return TRUE;
    default:
      return FALSE;
  }
}

// "7" for "COM7" and "\\.\COM7"; 0 for anything else.
int numer_com(const char* s) {
  if (std::strncmp(s, "\\\\.\\", 4) == 0) s += 4;
  if (_strnicmp(s, "COM", 3) != 0 || s[3] < '1' || s[3] > '9') return 0;
  int n = 0;
  for (const char* c = s + 3; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || n > 255) return 0;
    n = n * 10 + (*c - '0');
  }
  return n;
}

}  // namespace

void przygotuj_konsole(int& argc, char**& argv) {
  // The program's texts are UTF-8; the console shows them as they are.
  SetConsoleOutputCP(CP_UTF8);
  // The narrow argv holds the names in the system's code page, which loses letters
  // outside it: take the wide command line instead. The copies live to the end.
  static std::vector<std::string> teksty;
  static std::vector<char*> wskazniki;
  int n = 0;
  wchar_t** szerokie = CommandLineToArgvW(GetCommandLineW(), &n);
  if (szerokie == nullptr || n != argc) {
    if (szerokie != nullptr) LocalFree(szerokie);
    return;
  }
  teksty.clear();
  for (int i = 0; i < n; ++i) teksty.push_back(utf8(szerokie[i], std::wcslen(szerokie[i])));
  LocalFree(szerokie);
  wskazniki.clear();
  for (std::string& t : teksty) wskazniki.push_back(t.data());
  wskazniki.push_back(nullptr);
  argv = wskazniki.data();
}

const char* dopisek_uzycia() {
  return "W systemie Windows --port przyjmuje też nazwę portu: COM7 (jak 7), \\\\.\\COM20.\n"
         "Przerwanie (Ctrl-C, zamknięcie okna konsoli) kończy program kodem 130 albo 143.\n";
}

bool terminal_bledow() {
  return _isatty(_fileno(stderr)) != 0;
}

void lap_przerwania(std::atomic<int>& flaga) {
  g_flaga = &flaga;
  SetConsoleCtrlHandler(przy_zdarzeniu, TRUE);
}

void zakoncz_przerwaniem(int numer) {
  std::fflush(stdout);
  std::fflush(stderr);
  // The status a POSIX shell gives a program ended by the signal.
  ExitProcess(static_cast<UINT>(128 + numer));
}

int numer_nazwanego_portu(const char* wartosc) {
  const int n = numer_com(wartosc);
  return n >= 1 && n <= 16 ? n : 0;
}

bool jest_sciezka_urzadzenia(const char* wartosc) {
  return numer_com(wartosc) != 0 || std::strpbrk(wartosc, "\\/:") != nullptr;
}

std::string pelna_sciezka_urzadzenia(const std::string& sciezka) {
  // A port above COM16 goes through the device namespace as it stands.
  const int n = numer_com(sciezka.c_str());
  if (n != 0) return "\\\\.\\COM" + std::to_string(n);
  if (sciezka.rfind("\\\\", 0) == 0) return sciezka;
  const std::wstring w = szeroki(sciezka);
  std::vector<wchar_t> pelna(32768);
  const DWORD dl =
      GetFullPathNameW(w.c_str(), static_cast<DWORD>(pelna.size()), pelna.data(), nullptr);
  if (dl == 0 || dl >= pelna.size()) return sciezka;
  return utf8(pelna.data(), dl);
}

std::string brak_urzadzenia(const std::string& sciezka) {
  const int n = numer_com(sciezka.c_str());
  if (n != 0) return brak_portu(n);
  if (GetFileAttributesW(szeroki(sciezka).c_str()) != INVALID_FILE_ATTRIBUTES) return {};
  return GetLastError() == ERROR_ACCESS_DENIED ? "brak uprawnień" : "nie istnieje";
}

std::string brak_portu(int numer) {
  const std::string nazwa = "COM" + std::to_string(numer);
  char cel[1024];
  return QueryDosDeviceA(nazwa.c_str(), cel, sizeof cel) != 0 ? std::string() : "nie istnieje";
}

// Windows has no links a port is chosen by.
std::string cel_lacza(const std::string&) {
  return {};
}

}  // namespace ostrel::cli
