#pragma once
// Texts of the utility's dialogs: the string table (Japanese, shown in the
// ANSI code page), control texts, and the numbers a person types.

#include <windows.h>

#include <cstdint>
#include <string>

// A string of the program's string table; empty when it has none.
std::string LoadText(UINT id);

// A string of the table used as a printf format.
std::string FormatText(UINT id, ...);

std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);

// Gives every control of a dialog whose id has a string in the table that
// string as its text (labels, buttons, group boxes).
void ApplyControlTexts(HWND dialog);

// A number as a person writes it: decimal, or hexadecimal after 0x; blanks
// around it are allowed. False for anything else, or above 32 bits.
bool ParseNumber(const std::string& text, uint32_t* value);

// The lines of a list box.
void ResetList(HWND list);
void AddListLine(HWND list, const std::string& line);
int SelectedLine(HWND list);
