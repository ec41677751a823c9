// Loading and saving whole files on Windows. Paths are UTF-8 and go to the wide calls,
// so names with Polish letters work whatever the system's code page.
#include <windows.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "hex/strumien.h"
#include "serial/tekst_win32.h"

namespace ostrel {

namespace {

// The reasons a user meets, in the program's own language; anything rarer as the
// system words it.
bool porazka(std::string* blad, DWORD e) {
  if (!blad) return false;
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
      *blad = "nie istnieje";
      break;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      *blad = "nie istnieje (nie ma takiego katalogu)";
      break;
    case ERROR_ACCESS_DENIED:
      *blad = "brak uprawnień";
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      *blad = "plik jest otwarty w innym programie";
      break;
    case ERROR_DIRECTORY:
      *blad = "to jest katalog";
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      *blad = "brak miejsca na dysku";
      break;
    case ERROR_WRITE_PROTECT:
      *blad = "nośnik jest chroniony przed zapisem";
      break;
    default:
      *blad = tekst_bledu_systemu(e);
      break;
  }
  return false;
}

bool katalog(const std::wstring& w) {
  const DWORD a = GetFileAttributesW(w.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool zapisz_wszystko(HANDLE h, const void* dane, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(dane);
  while (n > 0) {
    const DWORD kawalek = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD zapisane = 0;
    if (!WriteFile(h, p, kawalek, &zapisane, nullptr)) return false;
    if (zapisane == 0 || zapisane > kawalek) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    p += zapisane;
    n -= zapisane;
  }
  return true;
}

// A new file beside `cel` with a name no other file has.
HANDLE utworz_tymczasowy(const std::wstring& cel, std::wstring& nazwa) {
  static constexpr wchar_t kZnaki[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER t{};
  QueryPerformanceCounter(&t);
  std::uint64_t ziarno = static_cast<std::uint64_t>(t.QuadPart) ^
                         (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                         reinterpret_cast<std::uintptr_t>(&nazwa);
  for (int proba = 0; proba < 100; ++proba) {
    nazwa = cel + L".tmp-";
    for (int i = 0; i < 6; ++i) {
      ziarno = ziarno * 6364136223846793005ULL + 1442695040888963407ULL;
      nazwa += kZnaki[(ziarno >> 33) % (sizeof kZnaki / sizeof kZnaki[0] - 1)];
    }
    HANDLE h = CreateFileW(nazwa.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool Strumien::wczytaj_plik(const std::string& sciezka, std::string* blad, std::size_t limit) {
  wyczysc();
  const std::wstring w = szeroki(sciezka);
  if (katalog(w)) {
    if (blad) *blad = "to jest katalog";
    return false;
  }
  HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return porazka(blad, GetLastError());
  auto koniec = [&](const char* tekst, DWORD e) {
    CloseHandle(h);
    if (tekst != nullptr) {
      if (blad) *blad = tekst;
      return false;
    }
    return porazka(blad, e);
  };
  // A device or a pipe (NUL, COM1, CON) has no whole contents to load.
  if (GetFileType(h) != FILE_TYPE_DISK) return koniec("to nie jest zwykły plik", 0);
  LARGE_INTEGER rozmiar{};
  if (!GetFileSizeEx(h, &rozmiar)) return koniec(nullptr, GetLastError());
  if (static_cast<std::uint64_t>(rozmiar.QuadPart) > limit)
    return koniec(kPlikZaDuzyDoWczytania, 0);
  std::vector<std::uint8_t> bufor;
  try {
    bufor.reserve(static_cast<std::size_t>(rozmiar.QuadPart));
    std::vector<std::uint8_t> kawalek(65536);
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(h, kawalek.data(), static_cast<DWORD>(kawalek.size()), &n, nullptr))
        return koniec(nullptr, GetLastError());
      if (n == 0) break;
      // A file that grows while it is read is held to the same limit.
      if (n > limit - bufor.size()) return koniec(kPlikZaDuzyDoWczytania, 0);
      bufor.insert(bufor.end(), kawalek.begin(), kawalek.begin() + n);
    }
  } catch (const std::bad_alloc&) {
    return koniec("za mało pamięci na wczytanie pliku", 0);
  }
  CloseHandle(h);
  dane_ = std::move(bufor);
  pozycja_ = 0;
  return true;
}

bool Strumien::zapisz_plik(const std::string& sciezka, std::string* blad) const {
  return zapisz_atomowo(sciezka, dane_.data(), dane_.size(), blad);
}

bool zapisz_atomowo(const std::string& sciezka, const void* dane, std::size_t n,
                    std::string* blad) {
  const std::wstring cel = szeroki(sciezka);
  if (katalog(cel)) {
    if (blad) *blad = "to jest katalog";
    return false;
  }
  const bool istnieje = GetFileAttributesW(cel.c_str()) != INVALID_FILE_ATTRIBUTES;
  // A device (NUL, CON) cannot be replaced, only written to.
  HANDLE urzadzenie = CreateFileW(cel.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (urzadzenie != INVALID_HANDLE_VALUE) {
    const bool plik = GetFileType(urzadzenie) == FILE_TYPE_DISK;
    if (!plik) {
      const bool ok = zapisz_wszystko(urzadzenie, dane, n);
      const DWORD e = GetLastError();
      CloseHandle(urzadzenie);
      return ok || porazka(blad, e);
    }
    CloseHandle(urzadzenie);
  }

  std::wstring tymczasowy;
  HANDLE h = utworz_tymczasowy(cel, tymczasowy);
  if (h == INVALID_HANDLE_VALUE) return porazka(blad, GetLastError());
  auto porzuc = [&](DWORD e) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DeleteFileW(tymczasowy.c_str());
    return porazka(blad, e);
  };
  if (!zapisz_wszystko(h, dane, n)) return porzuc(GetLastError());
  if (!FlushFileBuffers(h)) return porzuc(GetLastError());
  const bool zamkniety = CloseHandle(h) != 0;
  h = INVALID_HANDLE_VALUE;
  if (!zamkniety) return porzuc(GetLastError());
  // ReplaceFile keeps what the old file had (its attributes, its permissions); the
  // old file stays as it was until the new one is complete.
  if (istnieje && ReplaceFileW(cel.c_str(), tymczasowy.c_str(), nullptr,
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  if (!MoveFileExW(tymczasowy.c_str(), cel.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return porzuc(GetLastError());
  return true;
}

}  // namespace ostrel
