// Commands of the headless front end.
#pragma once

namespace ostrel::cli {

// hex2bin IN.hex OUT.bin, bin2hex IN.bin OUT.hex. argv[0] is the command name.
int hex2bin(int argc, char** argv);
int bin2hex(int argc, char** argv);

// Everything that talks to the programmer: [--port N] [--device NAME] ... COMMAND [ARG].
// argv[0] is the program name.
int programator(int argc, char** argv);

}  // namespace ostrel::cli
