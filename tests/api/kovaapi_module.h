#pragma once
// The client library as a client program sees it: loaded from the program
// folder where the build stages it, its exports looked up by name. Tests
// call the library only through this.

#include "api/kovaapi.h"

#include <windows.h>

class KovaApiModule {
public:
    KovaApiModule();
    ~KovaApiModule();

    KovaApiModule(const KovaApiModule&) = delete;
    KovaApiModule& operator=(const KovaApiModule&) = delete;

    bool Loaded() const;

    decltype(&::InitKovaMsg) InitKovaMsg = nullptr;
    decltype(&::KovaOsdText) KovaOsdText = nullptr;
    decltype(&::KovaOsdIcon) KovaOsdIcon = nullptr;
    decltype(&::GetRFRemoconLCD) GetRFRemoconLCD = nullptr;
    decltype(&::SetRFRemoconLCD) SetRFRemoconLCD = nullptr;

private:
    HMODULE m_module = nullptr;
};

// A display record with the size set, the given mask and fields.
RFRemoconLcd LcdRecordOf(DWORD mask, DWORD seg0 = 0, DWORD seg1 = 0, DWORD seg2 = 0, DWORD seg3 = 0, DWORD seg4 = 0,
                         WORD number = 0, WORD mode = 0);
