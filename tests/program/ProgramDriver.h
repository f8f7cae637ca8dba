#pragma once

#include <string>

// How many entries the program and the command line each add in turn.
inline constexpr int kSharedAdds = 50;

// Runs the program as `quellio` runs, driven through its screens by the
// script of `phase`: "first" plays and opens the maker, then quits; "share"
// takes turns with quellio-cli run by the test: each effect the command line
// adds must reach the collection screen, and is answered by a recording
// "p<i>" the program adds, kSharedAdds times, then quits; "route" waits for
// the stored routing's virtual microphone. Prints each step on stdout; a
// failed step goes to stderr and makes the result non-zero.
int driveProgram(int argc, char** argv, const std::string& phase);
