#pragma once
// CRegs: the registry reader every loader uses. Each method answers a Win32
// error code (0 on success) so loaders can fall back to their defaults.

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Codes CQueryString answers besides the ones RegOpenKeyExA gives back.
constexpr LONG REGS_ALREADY_OPEN = 1;        // Open on an object that holds a key
constexpr LONG REGS_BAD_ARGUMENT = 87;       // ERROR_INVALID_PARAMETER
constexpr LONG REGS_TEXT_TOO_LONG = 1289;    // text does not fit the caller's buffer
constexpr LONG REGS_NO_TEXT = 1016;          // absent, too long, or not REG_SZ

// Size of the work buffer every text is read into first (520 characters and
// the terminator); longer values are refused as a whole.
constexpr int REGS_WORK_BUFFER = 521;

class CRegs {
public:
    CRegs() = default;
    // Deliberately does not close the key: readers close it themselves.
    virtual ~CRegs() = default;

    CRegs(const CRegs&) = delete;
    CRegs& operator=(const CRegs&) = delete;

    LONG Open(HKEY root, const char* subkey, REGSAM access);
    LONG Close();
    LONG QueryDword(const char* name, uint32_t* out);
    LONG QueryString(char* buf, int size, const char* name, uint32_t* outLen);

    bool IsOpen() const { return m_open != 0; }
    HKEY Key() const { return m_key; }

    // The song selector's settings key makes the next QueryString of this
    // object read its install folder instead (see the launcher's registry
    // indirection). Kept per object: launch threads and the main thread read
    // the registry at the same time, and a flag shared by the process let one
    // reader use up the redirect meant for another.
    bool SongSelectorRedirectPending() const { return m_songSelectorRedirect; }

private:
    // Tells the configuration inspector's log, when one is alive, what a
    // read of this key found.
    void LogRead(const char* name, bool text, LONG rc, DWORD type, DWORD size, uint32_t limit, uint32_t number) const;

    HKEY m_key = nullptr;
    uint32_t m_open = 0;
    bool m_songSelectorRedirect = false;
    // Where the key is, for the log only.
    HKEY m_root = nullptr;
    char m_path[256] = {};
};

// Candidate keys for the settings utility: while an overlay is alive on a
// thread, CRegs::Open on that thread opens the key an overlay entry names in
// place of the real one, so the program's own loaders judge values before
// they are written. The read log still names the real key. kova.exe never
// makes one; launch threads and watchers never see another thread's.
class RegistryOverlay {
public:
    RegistryOverlay();
    ~RegistryOverlay();

    RegistryOverlay(const RegistryOverlay&) = delete;
    RegistryOverlay& operator=(const RegistryOverlay&) = delete;

    // Opens of (root, subkey), compared without case, get a new handle of
    // replacement (which the caller keeps open while the overlay lives); a
    // null replacement makes the key missing.
    void Map(HKEY root, const char* subkey, HKEY replacement);

    // The live overlay's entry for (root, subkey): true, and *replacement
    // set, when it has one.
    static bool Find(HKEY root, const char* subkey, HKEY* replacement);

private:
    struct Entry {
        HKEY Root;
        char Subkey[256];
        HKEY Replacement;
    };
    static constexpr int ENTRY_MAX = 32;
    Entry m_entries[ENTRY_MAX] = {};
    int m_count = 0;
    RegistryOverlay* m_previous = nullptr;
};

// Reads a whole text value with the store's rules: REG_SZ only, into a buffer
// of bufferSize bytes (129 or 521), trimmed, then cut to 127 characters into
// field (128 bytes). Returns true and writes field only when a text was read.
bool ReadTrimmedText(CRegs& regs, const char* name, int bufferSize, char (&field)[128]);

// The same without the trimming, for the few texts whose blanks matter
// (window titles are compared exactly).
bool ReadUntrimmedText(CRegs& regs, const char* name, int bufferSize, char (&field)[128]);

// Copies text into dst of dstSize bytes, cut to at most dstSize - 1 bytes
// without splitting a double-byte character; always terminated.
void CopyCutWhole(char* dst, size_t dstSize, const char* text);
