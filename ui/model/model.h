// The window state that the protocol and the scheduler write, kept free of any window
// system. The GUI shows it; the CLI prints parts of it. All texts are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

// What the main window shows of an operation.
struct StanOkna {
  int ProgressBar2 = 0;                       // 0..100 (2 after a verification difference)
  std::string Label1;                         // the current file name
  std::string Label2 = std::string(21, ' ');  // erase step / mismatch unit number
  std::string Label3 = std::string(21, ' ');  // programming step
  std::string Label4 = std::string(20, ' ');  // verification step
  bool GroupBox3 = false;                     // EEPROM group enabled
  std::string ComboBox1_text = "AT89C2051";
  int ComboBox1_index = -1;  // selected device row, -1 none
  // The rows the device box lists, in its order: the twelve the settings file indexes,
  // then those beyond them that the programmer type serves.
  std::vector<int> wiersze{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
};

struct PoleWyboru {
  std::string podpis;  // caption
  bool zaznaczone = false;
  bool aktywne = true;
};

// The advanced dialog's state.
struct StanDialogu {
  std::vector<std::string> mode_items{"Tryb 0", "Tryb 1", "Tryb 2", "Tryb 3"};
  int mode_index = -1;  // no item selected at start
  std::string opis_modu = "B1[  ]  ;  B2[  ] ";
  std::string info = "zapis i odczyt możliwy";
  std::string Label6 = "Sygnatura";
  std::string target = "target";
  std::string softhard = "softhard";
  PoleWyboru CheckBox1{"Wewnętrzny &oscylator (RCEN)"};
  PoleWyboru CheckBox2{"Możliwe programowanie I&SP (SPIEN)"};
  bool kasowanie = true;
  // The lock mode and the fuse boxes come from the chip's 'F' answer; false when the
  // programmer's 'F' says nothing of them and they show what was chosen, not read.
  bool bity_odczytane = true;
};

// Status window (message line and its OK button).
struct StanStatusu {
  std::string Label1 = "Szukam programatora ...";
  bool Button1 = false;  // OK enabled
  bool widoczny = true;
};

// How the core reaches the screen. Every call comes on the owner's thread, inside an
// operation; the implementation redraws what the call names and returns.
class Widok {
 public:
  virtual ~Widok() = default;
  // StanOkna changed (progress bar or labels): show it now, even mid-operation.
  virtual void okno_zmienione() {}
  // StanDialogu changed.
  virtual void dialog_zmieniony() {}
  // StanStatusu changed; `pokaz` asks to show the status window (not modal, on top).
  virtual void status_zmieniony(bool pokaz) { (void)pokaz; }
  // Show the advanced dialog (not modal).
  virtual void pokaz_dialog() {}
};

}  // namespace ostrel
