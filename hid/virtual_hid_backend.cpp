#include "hid/virtual_hid_backend.h"

#include "hid/pipe_io.h"
#include "hid/virtual_receiver_protocol.h"

#include <dbt.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

// The HID interface class, as HidD_GetHidGuid gives it.
constexpr GUID HID_INTERFACE_GUID = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr uint32_t PREPARSED_MAGIC = 0x56524350;  // "PCRV"
constexpr int REPORT_KINDS = 3;                    // input, output, feature

// The flaws a virtual collection may be plugged with.
constexpr uint32_t FLAW_CAPS = 1;          // HidP_GetCaps refuses the data
constexpr uint32_t FLAW_BUTTON_CAPS = 2;   // HidP_GetButtonCaps fails
constexpr uint32_t FLAW_USAGE_LIST = 4;    // a button range with no room for usages

uint32_t FlawOf(const std::string& word)
{
    if (word == VR_FLAW_CAPS) {
        return FLAW_CAPS;
    }
    if (word == VR_FLAW_BUTTON_CAPS) {
        return FLAW_BUTTON_CAPS;
    }
    if (word == VR_FLAW_USAGE_LIST) {
        return FLAW_USAGE_LIST;
    }
    return 0;
}

// What OpenInterfaceSet gives: the listed paths, and where the enumeration
// fails when the receiver makes it fail.
struct InterfaceList {
    std::vector<std::string> Paths;
    DWORD FailError = ERROR_SUCCESS;  // after the last path, instead of ERROR_NO_MORE_ITEMS
};

// What HidD_GetPreparsedData gives for a virtual collection: its
// capabilities, worked out from the report lengths the receiver declared.
// Each report kind with a length has one value (usage 1) and, when the
// report has bytes beyond its ID, one range of buttons, eight per byte.
struct VirtualPreparsed {
    uint32_t Magic;
    HIDP_CAPS Caps;
    HIDP_BUTTON_CAPS Buttons[REPORT_KINDS];
    USHORT ButtonCount[REPORT_KINDS];
    HIDP_VALUE_CAPS Values[REPORT_KINDS];
    USHORT ValueCount[REPORT_KINDS];
    ULONG UsageListLength[REPORT_KINDS];
    uint32_t Flaws;
};

VirtualPreparsed* AsVirtual(PHIDP_PREPARSED_DATA data)
{
    auto* p = reinterpret_cast<VirtualPreparsed*>(data);
    return p && p->Magic == PREPARSED_MAGIC ? p : nullptr;
}

bool ValidKind(HIDP_REPORT_TYPE type) { return type >= HidP_Input && type <= HidP_Feature; }

bool IsPipeBreak(DWORD err)
{
    return err == ERROR_BROKEN_PIPE || err == ERROR_PIPE_NOT_CONNECTED || err == ERROR_NO_DATA;
}

bool StartsWith(const std::string& text, const char* word)
{
    size_t n = std::strlen(word);
    return text.compare(0, n, word) == 0 && (text.size() == n || text[n] == ' ' || text[n] == '\n');
}

// "fail <error>" -> the error, else ERROR_GEN_FAILURE.
DWORD FailureCode(const std::string& reply)
{
    std::vector<std::string> words = SplitWords(reply);
    uint32_t code = 0;
    if (words.size() >= 2 && words[0] == "fail" && ParseNumber(words[1], 0xFFFFFFFFu, &code) && code != 0) {
        return code;
    }
    return ERROR_GEN_FAILURE;
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// A virtual collection has at most one button and one value entry of each
// kind; hands it out the way hid.dll answers for a caller's array.
template <typename Caps>
NTSTATUS CopyCaps(USHORT have, const Caps& entry, Caps* caps, USHORT* count)
{
    if (have == 0) {
        *count = 0;
        return HIDP_STATUS_USAGE_NOT_FOUND;
    }
    if (*count < have || !caps) {
        *count = have;
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    caps[0] = entry;
    *count = have;
    return HIDP_STATUS_SUCCESS;
}

}  // namespace

VirtualHidBackend::VirtualHidBackend(const std::string& instance)
    : m_pipeName(VirtualReceiverPipeName(instance)),
      m_stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

VirtualHidBackend::~VirtualHidBackend()
{
    SetEvent(m_stopEvent.get());
    // Either thread may be sending to a window of this very thread.
    if (m_noticeThread) {
        WaitDispatchingSentMessages(m_noticeThread.get(), INFINITE);
    }
    for (HANDLE thread : m_asideThreads) {
        WaitDispatchingSentMessages(thread, INFINITE);
        CloseHandle(thread);
    }
}

bool VirtualHidBackend::Request(const std::string& request, std::string* reply)
{
    std::lock_guard<std::mutex> guard(m_requestLock);
    // A receiver that went away and came back gets one new connection.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_requestPipe) {
            if (m_pipeName.empty()) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return false;
            }
            m_requestPipe.reset(ConnectToPipe(m_pipeName, VR_REPLY_TIMEOUT_MS));
            if (!m_requestPipe || !PipeWriteMessage(m_requestPipe.get(), std::string(VR_HELLO_REQUEST),
                                                    VR_REPLY_TIMEOUT_MS)) {
                DWORD err = GetLastError();
                m_requestPipe.reset();
                SetLastError(err);
                return false;
            }
        }
        if (PipeWriteMessage(m_requestPipe.get(), request, VR_REPLY_TIMEOUT_MS) &&
            PipeReadMessage(m_requestPipe.get(), reply, VR_MESSAGE_MAX, VR_REPLY_TIMEOUT_MS)) {
            return true;
        }
        DWORD err = GetLastError();
        m_requestPipe.reset();
        if (!IsPipeBreak(err)) {
            SetLastError(err);
            return false;
        }
    }
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return false;
}

void VirtualHidBackend::GetHidGuid(GUID* guid) { *guid = HID_INTERFACE_GUID; }

HidInterfaceSet VirtualHidBackend::OpenInterfaceSet()
{
    std::string reply;
    if (!Request("list", &reply) || !StartsWith(reply, "ok")) {
        if (GetLastError() == ERROR_SUCCESS) {
            SetLastError(ERROR_GEN_FAILURE);
        }
        return nullptr;
    }
    auto* list = new (std::nothrow) InterfaceList();
    if (!list) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    size_t pos = reply.find('\n');
    while (pos != std::string::npos) {
        size_t next = reply.find('\n', pos + 1);
        std::string line = reply.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next;
        if (line.empty()) {
            continue;
        }
        // A path holds no blanks; "fail <error>" ends an enumeration that
        // fails after the paths before it.
        if (line.find(' ') != std::string::npos) {
            list->FailError = FailureCode(line);
            break;
        }
        list->Paths.push_back(line);
    }
    return list;
}

BOOL VirtualHidBackend::GetInterfacePath(HidInterfaceSet set, DWORD index, char* path, DWORD pathSize,
                                         DWORD* requiredSize)
{
    auto* list = static_cast<InterfaceList*>(set);
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (index >= list->Paths.size()) {
        SetLastError(list->FailError != ERROR_SUCCESS ? list->FailError : static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        return FALSE;
    }
    const std::string& p = list->Paths[index];
    DWORD needed = static_cast<DWORD>(p.size() + 1);
    if (requiredSize) {
        *requiredSize = needed;
    }
    if (!path || pathSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(path, p.c_str(), needed);
    return TRUE;
}

void VirtualHidBackend::CloseInterfaceSet(HidInterfaceSet set) { delete static_cast<InterfaceList*>(set); }

HANDLE VirtualHidBackend::OpenDevice(const char* path)
{
    if (!path || m_pipeName.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ScopedHandle pipe(ConnectToPipe(m_pipeName, VR_REPLY_TIMEOUT_MS));
    if (!pipe) {
        return INVALID_HANDLE_VALUE;
    }
    std::string reply;
    if (!PipeWriteMessage(pipe.get(), std::string(VR_HELLO_OPEN) + " " + path, VR_REPLY_TIMEOUT_MS) ||
        !PipeReadMessage(pipe.get(), &reply, VR_MESSAGE_MAX, VR_REPLY_TIMEOUT_MS)) {
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> words = SplitWords(reply);
    uint32_t v[9] = {};
    static const uint32_t limits[9] = {0xFFFFFFFFu, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    bool ok = (words.size() == 10 || words.size() == 11) && words[0] == "ok";
    for (size_t i = 0; ok && i < 9; ++i) {
        ok = ParseNumber(words[i + 1], limits[i], &v[i]);
    }
    if (!ok) {
        SetLastError(words.empty() || words[0] != "fail" ? ERROR_GEN_FAILURE : FailureCode(reply));
        return INVALID_HANDLE_VALUE;
    }
    OpenCollection c;
    c.Id = v[0];
    c.Path = path;
    c.Attributes.Size = sizeof(c.Attributes);
    c.Attributes.VendorID = static_cast<USHORT>(v[1]);
    c.Attributes.ProductID = static_cast<USHORT>(v[2]);
    c.Attributes.VersionNumber = static_cast<USHORT>(v[3]);
    c.UsagePage = static_cast<USAGE>(v[4]);
    c.Usage = static_cast<USAGE>(v[5]);
    for (int k = 0; k < REPORT_KINDS; ++k) {
        c.Lengths[k] = static_cast<USHORT>(v[6 + k]);
    }
    c.Flaws = words.size() == 11 ? FlawOf(words[10]) : 0;
    HANDLE handle = pipe.release();
    std::lock_guard<std::mutex> guard(m_lock);
    m_open[handle] = c;
    return handle;
}

void VirtualHidBackend::CloseDevice(HANDLE handle)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open.erase(handle);
    }
    if (handle && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

bool VirtualHidBackend::FindOpen(HANDLE handle, OpenCollection* out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_open.find(handle);
    if (it == m_open.end()) {
        return false;
    }
    *out = it->second;
    return true;
}

BOOL VirtualHidBackend::GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data)
{
    OpenCollection c;
    if (!data || !FindOpen(handle, &c)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* p = static_cast<VirtualPreparsed*>(std::calloc(1, sizeof(VirtualPreparsed)));
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    p->Magic = PREPARSED_MAGIC;
    p->Flaws = c.Flaws;
    p->Caps.UsagePage = c.UsagePage;
    p->Caps.Usage = c.Usage;
    p->Caps.InputReportByteLength = c.Lengths[HidP_Input];
    p->Caps.OutputReportByteLength = c.Lengths[HidP_Output];
    p->Caps.FeatureReportByteLength = c.Lengths[HidP_Feature];
    p->Caps.NumberLinkCollectionNodes = 1;
    for (int k = 0; k < REPORT_KINDS; ++k) {
        USHORT length = c.Lengths[k];
        if (length == 0) {
            continue;
        }
        HIDP_VALUE_CAPS& value = p->Values[k];
        value.UsagePage = c.UsagePage;
        value.IsRange = FALSE;
        value.NotRange.Usage = 1;
        value.BitSize = 8;
        value.ReportCount = 1;
        value.LogicalMax = 255;
        p->ValueCount[k] = 1;
        if (length > 1) {
            HIDP_BUTTON_CAPS& buttons = p->Buttons[k];
            buttons.UsagePage = c.UsagePage;
            buttons.IsRange = TRUE;
            buttons.Range.UsageMin = 1;
            ULONG count = (length - 1) * 8u;
            buttons.Range.UsageMax = static_cast<USAGE>(count > 0xFFFF ? 0xFFFF : count);
            p->ButtonCount[k] = 1;
            p->UsageListLength[k] = (c.Flaws & FLAW_USAGE_LIST) ? 0 : buttons.Range.UsageMax;
        }
    }
    p->Caps.NumberInputButtonCaps = p->ButtonCount[HidP_Input];
    p->Caps.NumberInputValueCaps = p->ValueCount[HidP_Input];
    p->Caps.NumberOutputButtonCaps = p->ButtonCount[HidP_Output];
    p->Caps.NumberOutputValueCaps = p->ValueCount[HidP_Output];
    p->Caps.NumberFeatureButtonCaps = p->ButtonCount[HidP_Feature];
    p->Caps.NumberFeatureValueCaps = p->ValueCount[HidP_Feature];
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(p);
    return TRUE;
}

void VirtualHidBackend::FreePreparsedData(PHIDP_PREPARSED_DATA data)
{
    if (VirtualPreparsed* p = AsVirtual(data)) {
        p->Magic = 0;
        std::free(p);
    }
}

BOOL VirtualHidBackend::GetAttributes(HANDLE handle, HIDD_ATTRIBUTES* attributes)
{
    OpenCollection c;
    if (!attributes || !FindOpen(handle, &c)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *attributes = c.Attributes;
    return TRUE;
}

NTSTATUS VirtualHidBackend::GetCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps)
{
    VirtualPreparsed* p = AsVirtual(data);
    if (!p || (p->Flaws & FLAW_CAPS)) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    *caps = p->Caps;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS VirtualHidBackend::GetButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* count,
                                          PHIDP_PREPARSED_DATA data)
{
    VirtualPreparsed* p = AsVirtual(data);
    if (!p || !ValidKind(type) || !count || (p->Flaws & FLAW_BUTTON_CAPS)) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    return CopyCaps(p->ButtonCount[type], p->Buttons[type], caps, count);
}

NTSTATUS VirtualHidBackend::GetValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* count,
                                         PHIDP_PREPARSED_DATA data)
{
    VirtualPreparsed* p = AsVirtual(data);
    if (!p || !ValidKind(type) || !count) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    return CopyCaps(p->ValueCount[type], p->Values[type], caps, count);
}

ULONG VirtualHidBackend::MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE usagePage, PHIDP_PREPARSED_DATA data)
{
    VirtualPreparsed* p = AsVirtual(data);
    if (!p || !ValidKind(type) || (usagePage != 0 && usagePage != p->Caps.UsagePage)) {
        return 0;
    }
    return p->UsageListLength[type];
}

BOOL VirtualHidBackend::ReportRequest(const char* verb, HANDLE handle, const void* buffer, ULONG length)
{
    OpenCollection c;
    if (!FindOpen(handle, &c)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer || length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string reply;
    std::string request = std::string(verb) + " " + std::to_string(c.Id) + " " +
                          FormatHexBytes(static_cast<const uint8_t*>(buffer), length);
    if (!Request(request, &reply)) {
        return FALSE;
    }
    if (!StartsWith(reply, "ok")) {
        SetLastError(FailureCode(reply));
        return FALSE;
    }
    return TRUE;
}

BOOL VirtualHidBackend::GetFeature(HANDLE handle, void* buffer, ULONG length)
{
    OpenCollection c;
    if (!FindOpen(handle, &c)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buffer || length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::string reply;
    std::string request = "getfeature " + std::to_string(c.Id) + " " + std::to_string(length) + " " +
                          std::to_string(bytes[0]);
    if (!Request(request, &reply)) {
        return FALSE;
    }
    std::vector<uint8_t> answer;
    if (!StartsWith(reply, "ok")) {
        SetLastError(FailureCode(reply));
        return FALSE;
    }
    if (!ParseHexBytes(reply.substr(2), &answer, length)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    std::memset(bytes, 0, length);
    std::memcpy(bytes, answer.data(), answer.size());
    return TRUE;
}

BOOL VirtualHidBackend::SetFeature(HANDLE handle, void* buffer, ULONG length)
{
    return ReportRequest("setfeature", handle, buffer, length);
}

BOOL VirtualHidBackend::SetOutputReport(HANDLE handle, void* buffer, ULONG length)
{
    return ReportRequest("output", handle, buffer, length);
}

bool VirtualHidBackend::EnsureNoticeThread()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_noticeThread) {
        return true;
    }
    if (m_pipeName.empty() || !m_stopEvent) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    m_noticePipe.reset(ConnectToPipe(m_pipeName, VR_REPLY_TIMEOUT_MS));
    // Only once the receiver has answered is it sure to announce what is
    // plugged from now on.
    std::string answer;
    if (!m_noticePipe || !PipeWriteMessage(m_noticePipe.get(), std::string(VR_HELLO_NOTICES), VR_REPLY_TIMEOUT_MS) ||
        !PipeReadMessage(m_noticePipe.get(), &answer, VR_MESSAGE_MAX, VR_REPLY_TIMEOUT_MS) || answer != VR_ACK) {
        DWORD err = GetLastError();
        m_noticePipe.reset();
        SetLastError(err);
        return false;
    }
    // The notice thread runs this module's code for as long as the backend
    // lives, and a library's detach notice (under the loader lock) cannot
    // wait for a thread to end: a library that runs it (kovaapi.dll) stays
    // loaded until its process ends. For a program this changes nothing.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&HID_INTERFACE_GUID), &self);
    m_noticeThread.reset(CreateThread(nullptr, 0, NoticeMain, this, 0, nullptr));
    if (!m_noticeThread) {
        m_noticePipe.reset();
        return false;
    }
    return true;
}

DWORD WINAPI VirtualHidBackend::NoticeMain(void* self)
{
    static_cast<VirtualHidBackend*>(self)->NoticeLoop();
    return 0;
}

void VirtualHidBackend::NoticeLoop()
{
    std::string notice;
    while (PipeReadMessage(m_noticePipe.get(), &notice, VR_MESSAGE_MAX, INFINITE, m_stopEvent.get())) {
        Notices notices;
        size_t start = 0;
        const size_t asidePrefix = sizeof(VR_NOTICE_ASIDE);  // the word and its blank
        const bool aside = notice.compare(0, asidePrefix, std::string(VR_NOTICE_ASIDE) + " ") == 0;
        if (aside) {
            start = asidePrefix;
        }
        // One notice, or the lines of notices put aside.
        while (start < notice.size()) {
            size_t end = aside ? notice.find('\n', start) : std::string::npos;
            std::string line = notice.substr(start, end == std::string::npos ? std::string::npos : end - start);
            size_t space = line.find(' ');
            if (space != std::string::npos) {
                notices.emplace_back(line.substr(0, space), line.substr(space + 1));
            }
            start = end == std::string::npos ? notice.size() : end + 1;
        }
        // Without a thread of their own they are sent from this one.
        if (!aside || !SendAside(notices)) {
            for (const auto& [kind, path] : notices) {
                Deliver(kind, path);
            }
        }
        // The receiver waits for this before it goes on, as Windows waits
        // for the answers to a device broadcast.
        if (!PipeWriteMessage(m_noticePipe.get(), std::string(VR_ACK), VR_REPLY_TIMEOUT_MS)) {
            break;
        }
    }
}

namespace {

struct AsideWork {
    VirtualHidBackend* Backend;
    VirtualHidBackend::Notices Notices;
};

}  // namespace

bool VirtualHidBackend::SendAside(const Notices& notices)
{
    auto* work = new (std::nothrow) AsideWork{this, notices};
    if (!work) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    // Forget the threads that are done, so a long session does not pile them up.
    std::erase_if(m_asideThreads, [](HANDLE t) {
        if (WaitForSingleObject(t, 0) == WAIT_OBJECT_0) {
            CloseHandle(t);
            return true;
        }
        return false;
    });
    HANDLE thread = CreateThread(nullptr, 0, AsideMain, work, 0, nullptr);
    if (!thread) {
        delete work;
        return false;
    }
    m_asideThreads.push_back(thread);
    return true;
}

DWORD WINAPI VirtualHidBackend::AsideMain(void* context)
{
    auto* work = static_cast<AsideWork*>(context);
    for (const auto& [kind, path] : work->Notices) {
        if (WaitForSingleObject(work->Backend->m_stopEvent.get(), 0) == WAIT_OBJECT_0) {
            break;
        }
        work->Backend->Deliver(kind, path);
    }
    // Tells the receiver, whose clients wait for nothing else of these.
    std::string reply;
    work->Backend->Request(VR_ASIDE_HANDLED_REQUEST, &reply);
    delete work;
    return 0;
}

void VirtualHidBackend::Deliver(const std::string& kind, const std::string& path)
{
    WPARAM event = 0;
    bool toHandles = false;
    bool toInterfaces = false;
    if (kind == VR_NOTICE_ARRIVAL) {
        event = DBT_DEVICEARRIVAL;
        toInterfaces = true;
    } else if (kind == VR_NOTICE_QUERY_REMOVE) {
        event = DBT_DEVICEQUERYREMOVE;
        toHandles = true;
    } else if (kind == VR_NOTICE_REMOVE_PENDING) {
        event = DBT_DEVICEREMOVEPENDING;
        toHandles = true;
    } else if (kind == VR_NOTICE_REMOVE_COMPLETE) {
        event = DBT_DEVICEREMOVECOMPLETE;
        toHandles = true;
        toInterfaces = true;
    } else {
        return;
    }

    std::vector<std::pair<uintptr_t, Registration>> targets;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& [id, r] : m_registrations) {
            if (!r.ForInterfaces && toHandles && SamePath(r.Path, path)) {
                targets.emplace_back(id, r);
            }
        }
        // As on Windows, the handle's own notice comes before the interface's.
        for (const auto& [id, r] : m_registrations) {
            if (r.ForInterfaces && toInterfaces) {
                targets.emplace_back(id, r);
            }
        }
    }

    // The records live on this thread for the length of each send, as the
    // system's own broadcast records do.
    size_t recordSize = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1;
    std::vector<uint8_t> interfaceRecord(recordSize < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)
                                             ? sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)
                                             : recordSize);
    for (const auto& [id, r] : targets) {
        {
            // A registration undone meanwhile gets nothing more.
            std::lock_guard<std::mutex> guard(m_lock);
            if (!m_registrations.count(id)) {
                continue;
            }
        }
        if (r.ForInterfaces) {
            std::fill(interfaceRecord.begin(), interfaceRecord.end(), 0);
            auto* rec = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(interfaceRecord.data());
            rec->dbcc_size = static_cast<DWORD>(recordSize);
            rec->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            rec->dbcc_classguid = HID_INTERFACE_GUID;
            std::memcpy(rec->dbcc_name, path.c_str(), path.size() + 1);
            SendMessageA(r.Window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(rec));
        } else {
            DEV_BROADCAST_HANDLE rec{};
            rec.dbch_size = sizeof(rec);
            rec.dbch_devicetype = DBT_DEVTYP_HANDLE;
            rec.dbch_handle = r.Handle;
            rec.dbch_hdevnotify = reinterpret_cast<HDEVNOTIFY>(id);
            SendMessageA(r.Window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&rec));
        }
    }
}

HDEVNOTIFY VirtualHidBackend::RegisterInterfaceNotice(HWND window)
{
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!EnsureNoticeThread()) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    Registration r;
    r.Window = window;
    r.ForInterfaces = true;
    uintptr_t id = m_nextRegistration++;
    m_registrations[id] = r;
    return reinterpret_cast<HDEVNOTIFY>(id);
}

HDEVNOTIFY VirtualHidBackend::RegisterHandleNotice(HWND window, HANDLE handle)
{
    OpenCollection c;
    if (!IsWindow(window) || !FindOpen(handle, &c)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!EnsureNoticeThread()) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    Registration r;
    r.Window = window;
    r.Handle = handle;
    r.Path = c.Path;
    uintptr_t id = m_nextRegistration++;
    m_registrations[id] = r;
    return reinterpret_cast<HDEVNOTIFY>(id);
}

BOOL VirtualHidBackend::UnregisterNotice(HDEVNOTIFY notice)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_registrations.erase(reinterpret_cast<uintptr_t>(notice)) ? TRUE : FALSE;
}

DWORD VirtualHidBackend::DeviceError(HANDLE handle, DWORD readError, DWORD bytesRead)
{
    // The receiver drops the collection's pipe when it is unplugged.
    if (IsPipeBreak(readError)) {
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    if (readError != ERROR_SUCCESS || bytesRead != 0) {
        return readError;
    }
    // An empty message: the receiver made this read fail, and says how.
    OpenCollection c;
    if (!FindOpen(handle, &c)) {
        return ERROR_INVALID_HANDLE;
    }
    std::string reply;
    if (!Request("readerror " + std::to_string(c.Id), &reply)) {
        return GetLastError() == ERROR_DEVICE_NOT_CONNECTED ? ERROR_DEVICE_NOT_CONNECTED : ERROR_GEN_FAILURE;
    }
    std::vector<std::string> words = SplitWords(reply);
    uint32_t code = 0;
    if (words.size() == 2 && words[0] == "ok" && ParseNumber(words[1], 0xFFFFFFFFu, &code) && code != 0) {
        return code;
    }
    return ERROR_GEN_FAILURE;
}

void VirtualHidBackend::DiscardRestOfReport(HANDLE handle)
{
    ScopedHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return;
    }
    uint8_t scratch[256];
    for (;;) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        DWORD got = 0;
        if (ReadFile(handle, scratch, sizeof(scratch), &got, &ov)) {
            return;
        }
        DWORD err = GetLastError();
        if (err == ERROR_IO_PENDING) {
            // Nothing was left of that report after all: take back the read.
            CancelIoEx(handle, &ov);
            if (!GetOverlappedResult(handle, &ov, &got, TRUE) && GetLastError() == ERROR_MORE_DATA) {
                continue;
            }
            return;
        }
        if (err != ERROR_MORE_DATA) {
            return;
        }
    }
}
