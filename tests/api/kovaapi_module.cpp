#include "tests/api/kovaapi_module.h"

#include "tests/support/kova_process.h"

#include <gtest/gtest.h>

namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn* out)
{
    *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    EXPECT_NE(*out, nullptr) << name;
}

}  // namespace

KovaApiModule::KovaApiModule() : m_module(LoadLibraryA(StagedPath("kovaapi.dll").c_str()))
{
    EXPECT_NE(m_module, nullptr) << "kovaapi.dll is staged beside kova.exe";
    if (!m_module) {
        return;
    }
    Bind(m_module, "InitKovaMsg", &InitKovaMsg);
    Bind(m_module, "KovaOsdText", &KovaOsdText);
    Bind(m_module, "KovaOsdIcon", &KovaOsdIcon);
    Bind(m_module, "GetRFRemoconLCD", &GetRFRemoconLCD);
    Bind(m_module, "SetRFRemoconLCD", &SetRFRemoconLCD);
}

KovaApiModule::~KovaApiModule()
{
    if (m_module) {
        FreeLibrary(m_module);
    }
}

bool KovaApiModule::Loaded() const
{
    return InitKovaMsg && KovaOsdText && KovaOsdIcon && GetRFRemoconLCD && SetRFRemoconLCD;
}

RFRemoconLcd LcdRecordOf(DWORD mask, DWORD seg0, DWORD seg1, DWORD seg2, DWORD seg3, DWORD seg4, WORD number,
                         WORD mode)
{
    RFRemoconLcd lcd{};
    lcd.dwSize = sizeof(lcd);
    lcd.dwMask = mask;
    lcd.dwSeg0 = seg0;
    lcd.dwSeg1 = seg1;
    lcd.dwSeg2 = seg2;
    lcd.dwSeg3 = seg3;
    lcd.dwSeg4 = seg4;
    lcd.wNumber = number;
    lcd.wNumberMode = mode;
    return lcd;
}
