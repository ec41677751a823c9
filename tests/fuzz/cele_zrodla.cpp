// The fuzzers' checks and the settings logic they exercise, built into the replay test
// (the core library carries neither).
#include "fuzz/cele.cpp"
#include "ui/ustawienia.cpp"
