#pragma once

#include <optional>

// `vor-nex-cli find` without Qt and without the data module: a search of an SQLite catalogue
// that is there, of the current layout, with its word indexes up to date, read through a
// connection the engine lets change nothing. It answers what the full tool would answer, line for
// line and with the same exit status; whatever it is not sure to answer so (any other command,
// wrong usage, a catalogue that must be made, upgraded or indexed first, another driver, an engine
// error before the first line) it leaves to the full tool, having written nothing.
//
// Returns the exit status, or nullopt when the full tool must run instead.
std::optional<int> QuickFind(int argc, char *argv[]);
