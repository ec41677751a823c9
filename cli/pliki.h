// What the command-line front end checks of the user's files before it starts work.
#pragma once

#include <string>

namespace ostrel::cli {

// The folder part of a path ("." for a bare name).
std::string katalog_pliku(const std::string& sciezka);

// Why a result could not be saved as `sciezka`, in Polish ("to jest katalog", "katalog X
// nie istnieje", a missing permission); empty when it can.
std::string powod_zapisu(const std::string& sciezka);

}  // namespace ostrel::cli
