// The radio remote's display: GetRFRemoconLCD and SetRFRemoconLCD, and the
// library's start-up and shut-down in the client's process, which exist
// only for them. The receiver's display collection is opened here, in the
// calling process, through the device backend; every process's access to it
// and to the remembered word is serialised by one machine-wide mutex.
//
// Start-up does not run in the attach notice: it creates a window, waits for
// the mutex and opens a device, none of which is safe under the loader lock.
// It runs once, on the first call of either display function, on the
// calling thread, which then owns the hidden window that receives the device,
// power and session notices.

#include "kovaapi.h"

#include "api/lcd_word.h"
#include "base/scoped.h"
#include "hid/hid_backend.h"
#include "hid/hid_device_info.h"

#include <dbt.h>
#include <wtsapi32.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static_assert(sizeof(RFRemoconLcd) == sizeof(LcdRecord), "public and internal records agree");
static_assert(offsetof(RFRemoconLcd, dwMask) == offsetof(LcdRecord, dwMask) &&
                  offsetof(RFRemoconLcd, dwSeg4) == offsetof(LcdRecord, dwSeg4) &&
                  offsetof(RFRemoconLcd, wNumber) == offsetof(LcdRecord, wNumber) &&
                  offsetof(RFRemoconLcd, wNumberMode) == offsetof(LcdRecord, wNumberMode),
              "public and internal records agree");
static_assert(KOVAAPI_LCD_MASK_ALL == LCD_MASK_ALL && KOVAAPI_LCD_MASK_NUMBER == LCD_MASK_NUMBER,
              "public and internal mask bits agree");

namespace {

constexpr char HID_MUTEX_NAME[] = "Global\\KOVAAPI_HID_MUTEX";
constexpr DWORD HID_MUTEX_WAIT_MS = 2000;
constexpr char NOTIFY_WINDOW_CLASS[] = "KovaapiClass";

constexpr char KOVA_KEY[] = "Software\\Orlan\\Kova";
constexpr char KOVAAPI_KEY[] = "Software\\Orlan\\Kova\\KOVAAPI";
constexpr char LCD_WORD_VALUE[] = "RFLcdData";

constexpr int DEVICE_ID_MAX = 16;
constexpr USAGE LCD_USAGE_PAGE = 0xFF01;
constexpr USAGE LCD_USAGE = 0x01;

struct DeviceId {
    DWORD VendorId;
    DWORD ProductId;
};

HINSTANCE LibraryInstance = nullptr;
INIT_ONCE StartOnce = INIT_ONCE_STATIC_INIT;

// Changed on the hidden window's thread (under the mutex), read by every
// caller's thread.
std::atomic<DWORD> g_dwFWstate{KOVAAPI_LCD_NO_DEVICE};
HANDLE HidMutex = nullptr;
HWND NotifyWindow = nullptr;
bool ClassRegistered = false;
bool SessionNotify = false;
HDEVNOTIFY DeviceNotify = nullptr;
DeviceId DeviceIds[DEVICE_ID_MAX] = {};
int DeviceIdCount = 0;
// Only touched while HidMutex is held (or at start-up and shut-down).
HidDeviceInfo LcdDevice = {};

bool IsOpen(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }

void CloseLcdDevice()
{
    const bool anything = LcdDevice.DevicePath || LcdDevice.PreparsedData || IsOpen(LcdDevice.Handle);
    if (anything) {
        HidBackend& backend = GetHidBackend();
        if (IsOpen(LcdDevice.Handle)) {
            backend.CloseDevice(LcdDevice.Handle);
        }
        if (LcdDevice.PreparsedData) {
            backend.FreePreparsedData(LcdDevice.PreparsedData);
        }
    }
    FreeReportSets(LcdDevice);
    std::free(LcdDevice.DevicePath);
    LcdDevice = HidDeviceInfo{};
}

bool IsListed(DWORD vendorId, DWORD productId)
{
    for (int i = 0; i < DeviceIdCount; ++i) {
        if (DeviceIds[i].VendorId == vendorId && DeviceIds[i].ProductId == productId) {
            return true;
        }
    }
    return false;
}

// Opens the candidate whose path LcdDevice holds; true when it is the
// display collection of a listed receiver and is ready for output reports.
bool OpenCandidate(HidBackend& backend)
{
    LcdDevice.Handle = backend.OpenDevice(LcdDevice.DevicePath);
    if (!IsOpen(LcdDevice.Handle)) {
        return false;
    }
    LcdDevice.OpenedForRead = TRUE;
    LcdDevice.OpenedOverlapped = TRUE;
    if (!backend.GetPreparsedData(LcdDevice.Handle, &LcdDevice.PreparsedData) ||
        !backend.GetAttributes(LcdDevice.Handle, &LcdDevice.Attributes) ||
        backend.GetCaps(LcdDevice.PreparsedData, &LcdDevice.Caps) != HIDP_STATUS_SUCCESS) {
        return false;
    }
    if (!IsListed(LcdDevice.Attributes.VendorID, LcdDevice.Attributes.ProductID) || LcdDevice.Caps.UsagePage != LCD_USAGE_PAGE ||
        LcdDevice.Caps.Usage != LCD_USAGE) {
        return false;
    }
    return FillReportSets(backend, LcdDevice);
}

// Caller holds the mutex. Leaves the display collection open in LcdDevice
// and gives 0, or gives the state the display functions are to answer.
DWORD FindLcdDevice()
{
    CloseLcdDevice();
    HidBackend& backend = GetHidBackend();
    HidInterfaceSet set = backend.OpenInterfaceSet();
    if (!set) {
        return KOVAAPI_LCD_DEVICE_ERROR;
    }
    DWORD result = KOVAAPI_LCD_DEVICE_ERROR;
    for (DWORD index = 0;; ++index) {
        CloseLcdDevice();  // the candidate before
        DWORD required = 0;
        if (!backend.GetInterfacePath(set, index, nullptr, 0, &required)) {
            const DWORD err = GetLastError();
            if (err == ERROR_NO_MORE_ITEMS) {
                result = KOVAAPI_LCD_NO_DEVICE;
                break;
            }
            if (err != ERROR_INSUFFICIENT_BUFFER || required == 0) {
                break;
            }
        }
        LcdDevice.DevicePath = static_cast<char*>(std::malloc(required));
        if (!LcdDevice.DevicePath || !backend.GetInterfacePath(set, index, LcdDevice.DevicePath, required, &required)) {
            break;
        }
        if (OpenCandidate(backend)) {
            result = KOVAAPI_LCD_SUCCESS;
            break;
        }
    }
    backend.CloseInterfaceSet(set);
    if (result != KOVAAPI_LCD_SUCCESS) {
        CloseLcdDevice();
    }
    return result;
}

void RestartLcdHidDevice()
{
    MutexLock lock(HidMutex, HID_MUTEX_WAIT_MS);
    if (!lock.Held()) {
        g_dwFWstate = KOVAAPI_LCD_NOT_READY;
        return;
    }
    CloseLcdDevice();
    g_dwFWstate = FindLcdDevice();
}

bool IsInterfaceNotice(LPARAM lParam)
{
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    return header && header->dbch_size >= sizeof(DEV_BROADCAST_HDR) &&
           header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
}

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DEVICECHANGE:
        if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) && IsInterfaceNotice(lParam)) {
            RestartLcdHidDevice();
        }
        return TRUE;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMECRITICAL || wParam == PBT_APMRESUMESUSPEND) {
            RestartLcdHidDevice();
        }
        return TRUE;
    case WM_WTSSESSION_CHANGE:
        if (wParam == WTS_CONSOLE_CONNECT) {
            RestartLcdHidDevice();
        }
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_CREATE:
    case WM_DESTROY:
        return TRUE;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Processes of every session and user share the mutex: it has no access
// list at all. One made by a more privileged process may refuse creation
// while it can still be opened.
HANDLE CreateHidMutex()
{
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        attributes.lpSecurityDescriptor = &descriptor;
    }
    HANDLE mutex = CreateMutexA(&attributes, FALSE, HID_MUTEX_NAME);
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
        mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, HID_MUTEX_NAME);
    }
    return mutex;
}

bool CreateNotifyWindow()
{
    WNDCLASSA wc{};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = NotifyWindowProc;
    wc.hInstance = LibraryInstance;
    wc.lpszClassName = NOTIFY_WINDOW_CLASS;
    ClassRegistered = RegisterClassA(&wc) != 0;
    if (!ClassRegistered) {
        return false;
    }
    NotifyWindow = CreateWindowExA(0, NOTIFY_WINDOW_CLASS, "", WS_DISABLED, 0, 0, 0, 0, nullptr, nullptr,
                                   LibraryInstance, nullptr);
    return NotifyWindow != nullptr;
}

// A number is a REG_DWORD, or four bytes of REG_BINARY as everywhere in
// kova's settings; anything else counts as missing.
bool ReadDword(HKEY key, const char* name, DWORD* value)
{
    DWORD type = 0;
    DWORD size = sizeof(*value);
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
           (type == REG_DWORD || type == REG_BINARY) && size == sizeof(*value);
}

bool ReadNumbered(HKEY key, const char* prefix, int i, DWORD* value)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%s%d", prefix, i);
    return ReadDword(key, name, value);
}

// The receivers whose display may be driven; true when the key lists one.
bool LoadDeviceIds(const char* keyName)
{
    DeviceIdCount = 0;
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        return false;
    }
    ScopedRegKey key(raw);
    for (int i = 1; i <= DEVICE_ID_MAX && DeviceIdCount < DEVICE_ID_MAX; ++i) {
        DeviceId id{};
        if (!ReadNumbered(key.get(), "VendorID", i, &id.VendorId) ||
            !ReadNumbered(key.get(), "ProductID", i, &id.ProductId)) {
            break;
        }
        if (!IsListed(id.VendorId, id.ProductId)) {
            DeviceIds[DeviceIdCount++] = id;
        }
    }
    return DeviceIdCount > 0;
}

DWORD OpenLcdDevice()
{
    MutexLock lock(HidMutex, HID_MUTEX_WAIT_MS);
    if (!lock.Held()) {
        return KOVAAPI_LCD_NOT_READY;
    }
    return FindLcdDevice();
}

BOOL CALLBACK InitKOVAAPI(PINIT_ONCE, PVOID, PVOID*)
{
    g_dwFWstate = KOVAAPI_LCD_NOT_READY;
    HidMutex = CreateHidMutex();
    if (!HidMutex || !CreateNotifyWindow()) {
        return TRUE;
    }
    DeviceNotify = GetHidBackend().RegisterInterfaceNotice(NotifyWindow);
    SessionNotify = WTSRegisterSessionNotification(NotifyWindow, NOTIFY_FOR_THIS_SESSION) != FALSE;
    if (!LoadDeviceIds(KOVAAPI_KEY) && !LoadDeviceIds(KOVA_KEY)) {
        return TRUE;
    }
    g_dwFWstate = OpenLcdDevice();
    return TRUE;
}

void StartUp() { InitOnceExecuteOnce(&StartOnce, InitKOVAAPI, nullptr, nullptr); }

// Called from the detach notice when the library is freed, under the loader
// lock: nothing here waits. The device handle is this process's own, so
// closing it needs no other process to stand aside.
void CloseKOVAAPI()
{
    if (DeviceNotify) {
        GetHidBackend().UnregisterNotice(DeviceNotify);
        DeviceNotify = nullptr;
    }
    if (NotifyWindow) {
        if (SessionNotify) {
            WTSUnRegisterSessionNotification(NotifyWindow);
        }
        if (GetWindowThreadProcessId(NotifyWindow, nullptr) == GetCurrentThreadId()) {
            DestroyWindow(NotifyWindow);
        } else if (IsWindow(NotifyWindow)) {
            // Another thread's window cannot be destroyed from here, and its
            // procedure is about to be unloaded: the default one closes it.
            SetWindowLongPtrA(NotifyWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
            PostMessageA(NotifyWindow, WM_CLOSE, 0, 0);
        }
        NotifyWindow = nullptr;
    }
    CloseLcdDevice();
    g_dwFWstate = KOVAAPI_LCD_NO_DEVICE;
    if (ClassRegistered) {
        UnregisterClassA(NOTIFY_WINDOW_CLASS, LibraryInstance);
        ClassRegistered = false;
    }
    if (HidMutex) {
        CloseHandle(HidMutex);
        HidMutex = nullptr;
    }
}

DWORD ReadLcdWord()
{
    DWORD word = 0;
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KOVA_KEY, 0, KEY_QUERY_VALUE, &raw) == ERROR_SUCCESS) {
        ScopedRegKey key(raw);
        if (!ReadDword(key.get(), LCD_WORD_VALUE, &word)) {
            word = 0;
        }
    }
    return word;
}

// Only a user who has kova's key remembers the word.
void SaveLcdWord(DWORD word)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KOVA_KEY, 0, KEY_SET_VALUE, &raw) == ERROR_SUCCESS) {
        ScopedRegKey key(raw);
        RegSetValueExA(key.get(), LCD_WORD_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), sizeof(word));
    }
}

// Caller holds the mutex and has seen the device open.
DWORD SendLcdWord(DWORD word)
{
    HidReportSet& output = LcdDevice.Output;
    if (!BuildLcdReport(word, output.Buffer, output.Length)) {
        return KOVAAPI_LCD_IO_ERROR;  // no output report long enough for the word
    }
    if (!GetHidBackend().SetOutputReport(LcdDevice.Handle, output.Buffer, output.Length)) {
        return KOVAAPI_LCD_IO_ERROR;
    }
    SaveLcdWord(word);
    return KOVAAPI_LCD_SUCCESS;
}

}  // namespace

extern "C" DWORD WINAPI GetRFRemoconLCD(RFRemoconLcd* lcd)
{
    if (!lcd) {
        return KOVAAPI_LCD_INVALID_PARAM;
    }
    StartUp();
    const DWORD state = g_dwFWstate;
    if (state != KOVAAPI_LCD_SUCCESS) {
        return state;
    }
    DWORD word = 0;
    {
        MutexLock lock(HidMutex, HID_MUTEX_WAIT_MS);
        if (!lock.Held()) {
            return KOVAAPI_LCD_BUSY;
        }
        word = ReadLcdWord();
    }
    LcdRecord record{};
    DecodeLcdWord(word, &record);
    lcd->dwSeg0 = record.dwSeg0;
    lcd->dwSeg1 = record.dwSeg1;
    lcd->dwSeg2 = record.dwSeg2;
    lcd->dwSeg3 = record.dwSeg3;
    lcd->dwSeg4 = record.dwSeg4;
    lcd->wNumber = record.wNumber;
    lcd->wNumberMode = record.wNumberMode;
    return KOVAAPI_LCD_SUCCESS;
}

extern "C" DWORD WINAPI SetRFRemoconLCD(const RFRemoconLcd* lcd)
{
    if (!lcd) {
        return KOVAAPI_LCD_INVALID_PARAM;
    }
    StartUp();
    DWORD state = g_dwFWstate;
    if (state != KOVAAPI_LCD_SUCCESS) {
        return state;
    }
    // The size is looked at before the rest is read: a record that says it
    // is shorter is not read past its end.
    if (lcd->dwSize != LCD_RECORD_SIZE) {
        return KOVAAPI_LCD_INVALID_PARAM;
    }
    LcdRecord record{};
    std::memcpy(&record, lcd, sizeof(record));
    if (!CheckRFRemoconLCDParam(record)) {
        return KOVAAPI_LCD_INVALID_PARAM;
    }
    // Held from the read of the remembered word through the send and the
    // save: two processes that change different fields at the same moment
    // each merge into the word the other left, so neither change is lost.
    MutexLock lock(HidMutex, HID_MUTEX_WAIT_MS);
    if (!lock.Held()) {
        return KOVAAPI_LCD_IO_ERROR;
    }
    // The device may have gone or been reopened while this call waited.
    state = g_dwFWstate;
    if (state != KOVAAPI_LCD_SUCCESS) {
        return state;
    }
    return SendLcdWord(ConvertToHiddataFromParam(record, ReadLcdWord()));
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        LibraryInstance = instance;
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Only when the library is freed: at the end of the process the
        // other threads are already gone and the system takes back the rest.
        CloseKOVAAPI();
    }
    return TRUE;
}
