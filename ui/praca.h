// The worker: runs the operations and the advanced dialog's sequences on a thread of their
// own, so the message loop keeps running (the windows repaint and answer the desktop).
// It owns the model: from the moment work starts until its end has been handled on the
// window thread only the worker reads or writes it, and the windows see it through
// copies sent to them. Between works the window thread owns it.
#pragma once

#include <QObject>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "serial/ComDrv32.h"
#include "ui/TimerQt.h"
#include "ui/model/programator.h"
#include "ui/przekazanie.h"

namespace ostrel {

class TForm1;
class TForm2;
class TForm3;

class Praca : public QObject, public Widok {
  Q_OBJECT

 public:
  Praca(TCommPortDriver& port, TimerQt& polling);
  ~Praca() override;
  Praca(const Praca&) = delete;
  Praca& operator=(const Praca&) = delete;

  // The windows that show the model.
  void ustaw_okna(TForm1* f1, TForm2* f2, TForm3* f3);

  // The model, for the thread that owns it now (checked in debug builds).
  Programator& model();
  // True when the calling thread owns the model now.
  bool wlasciciel() const;
  bool w_watku_okien() const;

  // True from the start of work until its end has been handled on the window thread.
  bool zajety() const { return zajety_; }
  // Runs `praca` on the worker with the main window and the dialog closed to input;
  // `potem` runs on the window thread once it has ended. Only when not busy. When no
  // polling tick has drained the line since the previous work (whose closing 'L' may
  // still be answered), the worker drains it first.
  void uruchom(std::function<void()> praca, std::function<void()> potem = {});
  // Waits for running work to end (the windows are going away).
  void zaczekaj();
  // Asks running work to stop at its next command (it leaves programming mode, writes no
  // file and says "Przerwano"). Window thread; nothing when no work runs.
  void przerwij() {
    if (zajety_) przerwanie_ = 1;
  }

  // The status window was confirmed during work: its demo-mode part follows at the end.
  void potwierdzenie_w_trakcie() { potwierdzenie_odlozone_ = true; }
  // A scheduler tick that fell during work or while a modal dialog was open: it runs
  // when both have ended.
  void odloz_tyk() { tyk_odlozony_ = true; }
  // A new arming replaces a tick that is still waiting (the last button wins).
  void anuluj_tyk() { tyk_odlozony_ = false; }
  bool tyk_odlozony() const { return tyk_odlozony_; }
  // True while a modal dialog of ours is open.
  bool dialog_otwarty() const { return otwarte_dialogi_ > 0; }

  // Held for as long as a modal dialog of ours is open. When the last one closes, a
  // tick that fell meanwhile runs (once the handler that showed the dialog has returned).
  class Dialog {
   public:
    explicit Dialog(Praca& p) : p_(p) { ++p_.otwarte_dialogi_; }
    ~Dialog() { p_.dialog_zamkniety(); }
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

   private:
    Praca& p_;
  };

  // Errors raised on the worker: reported through the general error report at the end.
  void zglos_blad(const QString& tekst);

  // Counts the polling ticks; the scheduler's own tests and the drain rule read it.
  std::uint64_t tyki_pollingu() const { return polling_.tyki(); }

  Programator programator;

  // Widok: the core reports changes of the model while it works. On the window thread
  // the windows show it at once; from the worker they get a copy, shown when the message
  // loop delivers it, in the order sent.
  void okno_zmienione() override;
  void dialog_zmieniony() override;
  void status_zmieniony(bool pokaz) override;
  void pokaz_dialog() override;

 signals:
  // Work has ended and the windows take input again.
  void zakonczona();

 private:
  void koniec();
  void dialog_zamkniety();
  void wznow_tyk();
  void zablokuj(bool tak);

  TimerQt& polling_;
  Przekazanie poczta_;  // the worker's calls to the window thread
  TForm1* form1_ = nullptr;
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;

  std::atomic<int> przerwanie_{0};  // the model's interruption hook
  std::thread watek_;
  std::thread::id id_watku_;  // the worker's id while it runs
  std::function<void()> potem_;
  bool zajety_ = false;
  bool tyk_odlozony_ = false;
  bool potwierdzenie_odlozone_ = false;
  int otwarte_dialogi_ = 0;
  // The polling tick count when the last work ended (none yet: no drain owed).
  std::uint64_t tyki_na_koncu_ = 0;
  bool byla_praca_ = false;
  QStringList bledy_w_tle_;
};

}  // namespace ostrel
