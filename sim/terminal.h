// The simulator's side of the serial line: a pseudo-terminal whose slave end the host
// opens like a serial port, and the comN link that names it for the host.
#pragma once

#include <string>

namespace ostrel::sim {

class Terminal {
 public:
  Terminal() = default;
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Creates the pty. False with `blad` set when the system refuses.
  bool otworz(std::string& blad);
  const std::string& sciezka() const { return sciezka_; }
  int master() const { return master_; }
  // Descriptor that becomes readable when the host opens or closes the slave; -1 when
  // the system gives no such notice (the host then counts as always present).
  int powiadomienia() const { return inotify_; }

  struct Zmiana {
    bool otwarty = false;    // the host opened the port that nobody held open
    bool zamkniety = false;  // the host closed its last descriptor
  };
  // Reads the open/close notices. After a close whatever the host left unread has been
  // discarded, as a real port's driver discards it on close.
  Zmiana obsluz_powiadomienia();
  // Whether a host holds the slave open now.
  bool host_obecny() const { return inotify_ < 0 || otwarcia_ > 0; }

  // Bytes written to the host that it has not read yet.
  int nieodebrane() const;
  // Closes both ends, as an unplugged adapter: the host's reads and writes fail.
  void rozlacz();
  bool rozlaczony() const { return master_ < 0; }

 private:
  int master_ = -1;
  // Our own descriptor of the slave: keeps the pty alive (and its settings) while the
  // host closes and reopens it, so the master never sees a hang-up in between.
  int slave_ = -1;
  int inotify_ = -1;
  int otwarcia_ = 0;  // the host's open descriptors of the slave
  std::string sciezka_;
};

// The comN link in the configuration folder (katalog_konfiguracji), the place where the
// serial layer looks for COMn. Beside it, ".comN.ostrel-sim" names the target and the
// identity of the link a simulator made, so a later simulator knows that link for its
// kind's (one a killed simulator left, or one a running simulator still uses) and may
// take it over; and
// ".comN.ostrel-sim-kopia" keeps the entry a simulator replaced with `zastap`. On
// destruction a link that is still ours gives way to that kept entry, or is removed.
class Lacze {
 public:
  Lacze() = default;
  ~Lacze();
  Lacze(const Lacze&) = delete;
  Lacze& operator=(const Lacze&) = delete;

  // Links comN to `cel`. An existing comN that no simulator made is refused unless
  // `zastap`; then it is kept aside and put back by `usun`.
  bool utworz(int com, const std::string& cel, bool zastap, std::string& blad);
  const std::string& sciezka() const { return sciezka_; }
  void usun();

 private:
  std::string sciezka_;
  std::string cel_;
  std::string id_;     // the identity of the link we made
  std::string zapis_;  // the record of the target
  std::string kopia_;  // the replaced entry, kept aside
};

}  // namespace ostrel::sim
