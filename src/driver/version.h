// The engine's version, as --version, xboard's feature line and UCI's id show it.
#pragma once

constexpr const char* VORLAK_VERSION = "070722";
constexpr const char* VORLAK_NAME = "vorlak 070722";
