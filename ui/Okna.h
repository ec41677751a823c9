// The program's four windows, created in their order (main window, advanced dialog,
// status window, about box) and wired together. The entry and the tests both use it.
#pragma once

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"

namespace ostrel {

struct Okna {
  Okna() { Form1.ustaw_okna(&Form2, &Form3, &Form4); }
  // Work still running on the worker ends before any window goes.
  ~Okna() { Form1.praca.zaczekaj(); }
  Okna(const Okna&) = delete;
  Okna& operator=(const Okna&) = delete;

  TForm1 Form1;
  TForm2 Form2{Form1.programator};
  TForm3 Form3{Form1.praca, Form1};
  TForm4 Form4;
};

}  // namespace ostrel
