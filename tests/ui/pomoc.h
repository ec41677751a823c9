// Helpers of the window tests: a private configuration folder in which no serial port
// answers unless a simulator is linked in, waiting in the event loop, mouse clicks.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/symulator.h"
#include "hex/intel_hex.h"
#include "ui/Okna.h"
#include "ui/model/programator.h"

namespace ostrel::test {

// XDG_CONFIG_HOME for one test: the folder ostrel/ with comN links that lead nowhere,
// so the search never touches the machine's real ports. `wolne` ports get no link (a
// simulator links itself there).
class Konfiguracja {
 public:
  explicit Konfiguracja(std::vector<int> wolne = {}) {
    std::filesystem::create_directories(katalog_ / "ostrel");
    for (int n = 1; n <= 4; ++n) {
      if (std::find(wolne.begin(), wolne.end(), n) != wolne.end()) continue;
      const std::string lacze = katalog_ / ("ostrel/com" + std::to_string(n));
      std::filesystem::create_symlink("/nonexistent/ostrel-test-no-port", lacze);
    }
    const char* stara = std::getenv("XDG_CONFIG_HOME");
    if (stara != nullptr) poprzednia_ = stara;
    mial_ = stara != nullptr;
    ::setenv("XDG_CONFIG_HOME", katalog_.sciezka().c_str(), 1);
  }
  ~Konfiguracja() {
    if (mial_) {
      ::setenv("XDG_CONFIG_HOME", poprzednia_.c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }
  Konfiguracja(const Konfiguracja&) = delete;
  Konfiguracja& operator=(const Konfiguracja&) = delete;

  const std::string& sciezka() const { return katalog_.sciezka(); }
  std::string plik_ustawien() const { return katalog_ / "ostrel/Ostrel.cf"; }
  // A scratch file in the folder.
  std::string plik(const std::string& nazwa) const { return katalog_ / nazwa; }

  void zapisz_ustawienia(const std::vector<std::uint8_t>& bajty) const {
    zapisz_plik(plik_ustawien(), bajty);
  }
  std::vector<std::uint8_t> ustawienia() const { return czytaj_plik(plik_ustawien()); }

  static std::vector<std::uint8_t> czytaj_plik(const std::string& sciezka) {
    std::ifstream we(sciezka, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(we), {});
  }
  static void zapisz_plik(const std::string& sciezka, const std::string& tresc) {
    std::ofstream(sciezka, std::ios::binary) << tresc;
  }
  static void zapisz_plik(const std::string& sciezka, const std::vector<std::uint8_t>& bajty) {
    std::ofstream(sciezka, std::ios::binary)
        .write(reinterpret_cast<const char*>(bajty.data()),
               static_cast<std::streamsize>(bajty.size()));
  }

 private:
  KatalogTymczasowy katalog_;
  std::string poprzednia_;
  bool mial_ = false;
};

// Runs the event loop (timers, painting) for `ms`.
inline void czekaj_ms(int ms) {
  QEventLoop petla;
  QTimer::singleShot(ms, &petla, &QEventLoop::quit);
  petla.exec();
}

// Runs the event loop until the condition holds; false after `limit_ms`.
template <class F>
bool czekaj_az(F warunek, int limit_ms = 30000) {
  QElapsedTimer zegar;
  zegar.start();
  while (!warunek()) {
    if (zegar.elapsed() > limit_ms) return false;
    czekaj_ms(10);
  }
  return true;
}

// A left click at `punkt` of the widget, delivered as press and release.
inline void kliknij(QWidget& w, QPoint punkt) {
  const QPointF lok(punkt);
  const QPointF glob(w.mapToGlobal(punkt));
  QMouseEvent wcisniecie(QEvent::MouseButtonPress, lok, glob, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
  QApplication::sendEvent(&w, &wcisniecie);
  QMouseEvent puszczenie(QEvent::MouseButtonRelease, lok, glob, Qt::LeftButton, Qt::NoButton,
                         Qt::NoModifier);
  QApplication::sendEvent(&w, &puszczenie);
}

// Waits, in the event loop, for the work on the worker thread to end.
inline void czekaj_na_prace(Okna& o) {
  ASSERT_TRUE(czekaj_az([&] { return !o.Form1.zajety(); }, 120000)) << "the work never ended";
}

// The scheduler's tick at once instead of 2000 ms later, and the operation it starts
// waited for.
inline void tyknij(Okna& o) {
  o.Form1.Timer1Timer();
  czekaj_na_prace(o);
}

// The start-up operation, run at once instead of 2000 ms later.
inline void uruchom_start(Okna& o) {
  ASSERT_EQ(o.Form1.operacja, TForm1::kStart);
  tyknij(o);
}

// The host's commands in the wire log, each with its argument bytes skipped.
inline std::map<char, int> policz_polecenia(const Bajty& od_hosta) {
  // Argument counts of the commands that take any.
  const std::map<std::uint8_t, int> argumenty = {{'A', 2}, {'C', 1}, {'D', 1}, {'T', 1},
                                                 {'c', 1}, {'f', 1}, {'l', 1}};
  std::map<char, int> liczby;
  for (std::size_t i = 0; i < od_hosta.size(); ++i) {
    const std::uint8_t b = od_hosta[i];
    ++liczby[static_cast<char>(b)];
    const auto a = argumenty.find(b);
    if (a != argumenty.end()) i += static_cast<std::size_t>(a->second);
  }
  return liczby;
}

// A HEX file of `n` bytes counting up from 0, written where asked.
inline std::string hex_licznik(std::size_t n, std::size_t adres = 0) {
  std::string wynik;
  const char* cyfry = "0123456789ABCDEF";
  auto bajt = [&](unsigned b) {
    wynik += cyfry[(b >> 4) & 15];
    wynik += cyfry[b & 15];
  };
  for (std::size_t p = 0; p < n; p += 16) {
    const unsigned dl = static_cast<unsigned>(std::min<std::size_t>(16, n - p));
    const unsigned a = static_cast<unsigned>(adres + p);
    unsigned suma = dl + (a >> 8) + (a & 0xFF);
    wynik += ':';
    bajt(dl);
    bajt(a >> 8);
    bajt(a & 0xFF);
    bajt(0);
    for (unsigned i = 0; i < dl; ++i) {
      const unsigned b = static_cast<unsigned>((p + i) & 0xFF);
      bajt(b);
      suma += b;
    }
    bajt((0x100 - (suma & 0xFF)) & 0xFF);
    wynik += "\r\n";
  }
  wynik += ":00000001FF\r\n";
  return wynik;
}

// The image of a HEX file as the program's own reader takes it.
inline Bajty obraz_pliku(const std::string& sciezka) {
  Strumien obraz;
  std::string tekst;
  EXPECT_EQ(wczytaj_hex(sciezka, obraz, tekst), Wynik::ok) << tekst;
  return obraz.dane();
}

// A HEX file of `obraz`, written by the program's own writer.
inline void zapisz_hex_pliku(const std::string& sciezka, const Bajty& obraz) {
  Strumien bin(obraz), tekst;
  zapisz_hex(bin, tekst);
  ASSERT_TRUE(tekst.zapisz_plik(sciezka));
}

}  // namespace ostrel::test
