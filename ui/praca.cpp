#include "ui/praca.h"

#include <QThread>
#include <exception>

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"

namespace ostrel {

Praca::Praca(TCommPortDriver& port, TimerQt& polling)
    : programator(port, *this), polling_(polling) {
  programator.przerwanie = &przerwanie_;
}

Praca::~Praca() {
  zaczekaj();
}

void Praca::ustaw_okna(TForm1* f1, TForm2* f2, TForm3* f3) {
  form1_ = f1;
  form2_ = f2;
  form3_ = f3;
}

bool Praca::w_watku_okien() const {
  return QThread::currentThread() == thread();
}

bool Praca::wlasciciel() const {
  if (w_watku_okien()) return !zajety_;
  return std::this_thread::get_id() == id_watku_;
}

Programator& Praca::model() {
  Q_ASSERT_X(wlasciciel(), "Praca::model", "the model is used by a thread that does not own it");
  return programator;
}

// ---- Showing the model

void Praca::okno_zmienione() {
  if (form1_ == nullptr) return;
  if (w_watku_okien()) {
    form1_->pokaz_stan(programator.okno);
    return;
  }
  poczta_.wyslij([this, s = programator.okno] { form1_->pokaz_stan(s); });
}

void Praca::dialog_zmieniony() {
  if (form2_ == nullptr) return;
  if (w_watku_okien()) {
    form2_->pokaz_stan(programator.dialog);
    return;
  }
  poczta_.wyslij([this, s = programator.dialog] { form2_->pokaz_stan(s); });
}

void Praca::status_zmieniony(bool pokaz) {
  if (form3_ == nullptr) return;
  const auto pokaz_status = [this, pokaz](const StanStatusu& s) {
    form3_->pokaz_stan(s);
    if (pokaz) {
      form3_->pokaz();
    } else if (!s.widoczny) {
      form3_->hide();
    }
  };
  if (w_watku_okien()) {
    pokaz_status(programator.status);
    return;
  }
  poczta_.wyslij([pokaz_status, s = programator.status] { pokaz_status(s); });
}

void Praca::pokaz_dialog() {
  if (form2_ == nullptr) return;
  const auto pokaz = [this](const StanDialogu& s) {
    form2_->pokaz_stan(s);
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
  };
  if (w_watku_okien()) {
    pokaz(programator.dialog);
    return;
  }
  poczta_.wyslij([pokaz, s = programator.dialog] { pokaz(s); });
}

// ---- Work

void Praca::uruchom(std::function<void()> praca, std::function<void()> potem) {
  Q_ASSERT(w_watku_okien() && !zajety_);
  // A closing 'L' whose answer was not awaited may still be on its way: the polling
  // tick takes it between works, but work that follows work with no tick between must
  // drain it itself, or the answer would be taken for the first acknowledgement.
  const bool drenuj = byla_praca_ && polling_.tyki() == tyki_na_koncu_;
  przerwanie_ = 0;
  zajety_ = true;
  potem_ = std::move(potem);
  zablokuj(true);
  // One thread at a time owns the port: no polling tick while the worker uses it.
  polling_.wstrzymaj(true);
  watek_ = std::thread([this, drenuj, praca = std::move(praca)] {
    id_watku_ = std::this_thread::get_id();
    try {
      bool dalej = true;
      if (drenuj) {
        try {
          programator.oproznij_wejscie();
        } catch (const PorzucenieOperacji&) {
          programator.porzucone();
          dalej = false;
        }
      }
      if (dalej) praca();
    } catch (const std::exception& e) {
      // The general error report, as for an error raised inside a handler.
      zglos_blad(QString::fromUtf8(e.what()));
    } catch (...) {
      zglos_blad(QStringLiteral("Nieoczekiwany błąd w trakcie operacji"));
    }
    poczta_.wyslij([this] { koniec(); });
  });
}

void Praca::koniec() {
  // The worker has posted this as its last act: the join returns at once.
  if (watek_.joinable()) watek_.join();
  id_watku_ = {};
  polling_.wstrzymaj(false);
  byla_praca_ = true;
  tyki_na_koncu_ = polling_.tyki();
  zajety_ = false;
  if (potwierdzenie_odlozone_) {
    potwierdzenie_odlozone_ = false;
    // The OK action's part in the model, now that the model is ours again. The status
    // window stays as the work left it (a message shown after the click stays).
    if (programator.brak_programatora == 1) programator.tryb_demo = 1;
    programator.status.widoczny = form3_ != nullptr && form3_->isVisible();
  }
  const auto potem = std::move(potem_);
  potem_ = nullptr;
  zablokuj(false);
  if (form1_ != nullptr) form1_->pokaz_stan();
  if (form2_ != nullptr) form2_->pokaz_stan();
  if (potem) potem();
  const QStringList bledy = std::move(bledy_w_tle_);
  bledy_w_tle_.clear();
  for (const QString& b : bledy) zglos_blad(b);
  // Work that `potem` started in turn (a write the user agreed to) keeps the windows
  // closed: its own end is the end.
  if (zajety_) return;
  emit zakonczona();
  wznow_tyk();
}

void Praca::zaczekaj() {
  if (watek_.joinable()) watek_.join();
}

void Praca::zablokuj(bool tak) {
  if (form1_ != nullptr) form1_->setEnabled(!tak);
  if (form2_ != nullptr) form2_->setEnabled(!tak);
}

void Praca::zglos_blad(const QString& tekst) {
  if (!w_watku_okien()) {
    bledy_w_tle_ << tekst;
    return;
  }
  if (form1_ != nullptr) form1_->zglos_blad(tekst);
}

// ---- Modal dialogs and the deferred tick

void Praca::dialog_zamkniety() {
  --otwarte_dialogi_;
  if (otwarte_dialogi_ > 0 || !tyk_odlozony_) return;
  // After the handler that showed the dialog has dealt with its result.
  poczta_.wyslij([this] { wznow_tyk(); });
}

void Praca::wznow_tyk() {
  if (!tyk_odlozony_ || zajety_ || dialog_otwarty() || form1_ == nullptr) return;
  // The main window may have closed meanwhile (a close waits for the end of work).
  if (form1_->po_zamknieciu()) return;
  tyk_odlozony_ = false;
  form1_->Timer1Timer();
}

}  // namespace ostrel
