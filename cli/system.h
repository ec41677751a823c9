// What the command-line front end needs of the operating system beyond the core: the
// console, interruptions, and the names of ports and devices. One implementation per
// system (system_posix.cpp, system_win32.cpp), chosen by the build.
#pragma once

#include <atomic>
#include <csignal>
#include <string>

namespace ostrel::cli {

// Readies the console before anything is printed. On Windows the console shows UTF-8 and
// the arguments are taken again from the wide command line, as UTF-8; elsewhere nothing.
void przygotuj_konsole(int& argc, char**& argv);

// What --help adds for this system (how ports are named here); empty when nothing.
const char* dopisek_uzycia();

// Whether standard error is a terminal (progress rewrites one line there).
bool terminal_bledow();

// From now on an interruption (Ctrl-C, termination, the terminal or console window
// closed) only puts its signal number into `flaga`; the program then hands the port back
// and calls zakoncz_przerwaniem.
void lap_przerwania(std::atomic<int>& flaga);

// Ends the program as the interruption `numer` would have ended it.
[[noreturn]] void zakoncz_przerwaniem(int numer);

// The port number a --port value names in the system's own words ("COM7" on Windows);
// 0 when it names none that way.
int numer_nazwanego_portu(const char* wartosc);

// Whether a --port value is meant as a device path rather than a port number.
bool jest_sciezka_urzadzenia(const char* wartosc);

// The device path as the user meant it: a relative one taken from the current folder.
std::string pelna_sciezka_urzadzenia(const std::string& sciezka);

// Why the device at `sciezka` cannot be used ("nie istnieje", "brak uprawnień"); empty
// when it is there.
std::string brak_urzadzenia(const std::string& sciezka);

// Why port COMn is certainly absent, when the system can tell without opening it; empty
// otherwise.
std::string brak_portu(int numer);

// Where a symbolic link points, one level down; empty for no link.
std::string cel_lacza(const std::string& sciezka);

}  // namespace ostrel::cli
