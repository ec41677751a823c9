#include "serial/tekst_win32.h"

#include <windows.h>

namespace ostrel {

std::wstring szeroki(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) {
    // Not UTF-8 (a name typed in the console's own code page): take it as that.
    const int m = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(m > 0 ? m : 0), L'\0');
    if (m > 0) MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), m);
    return w;
  }
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string utf8(const wchar_t* w, std::size_t dlugosc) {
  if (dlugosc == 0) return {};
  const int d = static_cast<int>(dlugosc);
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, d, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, d, s.data(), n, nullptr, nullptr);
  return s;
}

std::string utf8(const std::wstring& w) {
  return utf8(w.data(), w.size());
}

std::string tekst_bledu_systemu(unsigned long kod) {
  wchar_t* bufor = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, kod, 0, reinterpret_cast<wchar_t*>(&bufor), 0, nullptr);
  std::string t = n > 0 && bufor != nullptr ? utf8(bufor, n) : std::string();
  if (bufor != nullptr) LocalFree(bufor);
  while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ' || t.back() == '.'))
    t.pop_back();
  return t.empty() ? "błąd systemu " + std::to_string(kod) : t;
}

}  // namespace ostrel
