#pragma once
// Splits a journal line "<library> <export> key=value key="quoted value" ..."
// into its fields, so tests can check one field at a time.

#include <map>
#include <string>

using JournalFields = std::map<std::string, std::string>;

// Quoted values are returned without their quotes and with \xNN decoded.
JournalFields ParseJournalFields(const std::string& line);
