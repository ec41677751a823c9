// The bounded waits of the protocol against a scripted line on a pseudo-terminal: a line
// that never falls silent ends the drain within its bound, and a signature byte that
// comes late is still awaited within its 33 reads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "protocol/stanowisko.h"

namespace ostrel::test {
namespace {

// The far end of a pseudo-terminal, played by a thread: `odpowiedz` gets every byte the
// host sends and writes the answer; `gadaj` (when set) keeps sending on its own.
class Linia {
 public:
  using Odpowiedz = std::function<void(int fd, std::uint8_t bajt)>;

  explicit Linia(Odpowiedz odpowiedz, bool gadaj = false) : odpowiedz_(std::move(odpowiedz)) {
    char nazwa[256] = {};
    if (::openpty(&master_, &slave_, nazwa, nullptr, nullptr) != 0) return;
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    // A full queue must not block the chatter: the thread has to see the end.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    nazwa_ = nazwa;
    watek_ = std::thread([this, gadaj] { petla(gadaj); });
  }
  ~Linia() {
    koniec_ = true;
    if (watek_.joinable()) watek_.join();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  const std::string& nazwa() const { return nazwa_; }
  Bajty od_hosta() {
    std::lock_guard<std::mutex> z(m_);
    return od_hosta_;
  }

 private:
  void petla(bool gadaj) {
    const std::uint8_t smiec = 0x55;
    const auto start = std::chrono::steady_clock::now();
    while (!koniec_) {
      pollfd p{master_, POLLIN, 0};
      // A byte every 5 ms at most: never a pause the drain would take for silence, and
      // never enough to fill the terminal's queue while the host is not reading.
      if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
        std::uint8_t b = 0;
        if (::read(master_, &b, 1) == 1) {
          {
            std::lock_guard<std::mutex> z(m_);
            od_hosta_.push_back(b);
          }
          odpowiedz_(master_, b);
        }
      }
      // Chatter for 2 s: a drain without its bound then ends, and the host's next
      // command shows it, where a hang would only stall the suite.
      if (gadaj && std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
          [[maybe_unused]]
        auto n = ::write(master_, &smiec, 1);
    }
  }

  Odpowiedz odpowiedz_;
  int master_ = -1, slave_ = -1;
  std::string nazwa_;
  std::thread watek_;
  std::atomic<bool> koniec_{false};
  std::mutex m_;
  Bajty od_hosta_;
};

void pisz(int fd, const Bajty& b) {
  [[maybe_unused]] auto n = ::write(fd, b.data(), b.size());
}

struct Host {
  Programista prog;
  Programator& p = prog.p;
  explicit Host(const std::string& urzadzenie) {
    prog.port.setDeviceName(urzadzenie);
    prog.port.Open();
  }
};

// A line that chatters without end: the drain that opens every exchange gives up within
// its bound, says so, and nothing is sent after it.
TEST(Oczekiwanie, ChattyLineEndsTheDrainWithinItsBound) {
  Linia linia([](int, std::uint8_t) {}, true);
  ASSERT_FALSE(linia.nazwa().empty());
  KatalogTymczasowy kat;
  zapisz_plik(kat / "a.hex", hex_z({1, 2}));
  Host h(linia.nazwa());
  ASSERT_TRUE(h.prog.port.IsOpen());
  h.p.limit_odpowiedzi_ms = 300;
  h.p.ComboBox1Change(9);
  h.p.nazwa_pliku = kat / "a.hex";
  EXPECT_EQ(h.p.operacja_pamieci(2), Wynik::brak_odpowiedzi);
  EXPECT_EQ(h.p.status.Label1, kNieOdpowiada);
  Programator::OdczytSygnatury o;
  EXPECT_EQ(h.p.czytaj_sygnature_ukladu(h.p.uklad(), o), Wynik::brak_odpowiedzi);
  // Given up while the line still chattered (it never stops here): not a byte went out.
  EXPECT_EQ(linia.od_hosta(), Bajty{});
}

// The signature's bytes come 400 ms after 's', past a few reads of 50 ms but within 33:
// both the check before a write and the dialog's read still take them.
TEST(Oczekiwanie, LateSignatureByteIsAwaited) {
  Linia linia([](int fd, std::uint8_t b) {
    if (b == 's') {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      pisz(fd, {0x01, 0x91, 0x1E});
    } else if (b == 'F') {
      pisz(fd, {0xFF});
    } else if (b != 0x20) {  // the device code after 'T' is an argument: no answer
      pisz(fd, {'\r'});
    }
  });
  ASSERT_FALSE(linia.nazwa().empty());
  Host h(linia.nazwa());
  ASSERT_TRUE(h.prog.port.IsOpen());
  h.p.ComboBox1Change(9);
  Programator::OdczytSygnatury o;
  ASSERT_EQ(h.p.czytaj_sygnature_ukladu(h.p.uklad(), o), Wynik::ok);
  EXPECT_EQ(o.odebrane, 3);
  EXPECT_EQ(o.bajty, (std::array<std::uint8_t, 3>{0x01, 0x91, 0x1E}));
  ASSERT_EQ(h.p.Button1Click(), Wynik::ok);
  EXPECT_EQ(h.p.sygnatura, (std::array<std::uint8_t, 3>{0x01, 0x91, 0x1E}));
}

}  // namespace
}  // namespace ostrel::test
