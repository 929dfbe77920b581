// The UCI protocol, spoken for the rest of the run once a session's first command is "uci".
#pragma once

#include "driver/engine.h"

// From here on only protocol lines reach the interface; call before start-up prints
// anything when the session is known to be a UCI one.
void beginUciSession();

// Answers the "uci" already read and serves the session until quit or the end of input.
// builtinSettings: no vorlak.cfg was found, the built-in settings are in use.
[[noreturn]] void runUci(Engine* engine, bool builtinSettings);
