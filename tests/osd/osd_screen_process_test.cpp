// What really reaches the (virtual) screen: our display libraries are called
// as kova calls them, and the screen is read back pixel by pixel. Run with
// the process tests, one at a time, so nothing else draws meanwhile where
// these tests look.

#include "osd/osd_control.h"
#include "osd/osd_record.h"

#include "base/messages.h"
#include "tests/support/kova_process.h"
#include "tests/support/registry_sandbox.h"
#include "tests/support/screen_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD SHOW_TIMEOUT_MS = 10000;
constexpr DWORD GONE_TIMEOUT_MS = 15000;
// Colours nothing else on the test screen uses.
constexpr COLORREF TEXT_COLOR = RGB(250, 40, 200);
constexpr COLORREF BAR_COLOR = RGB(30, 200, 250);
constexpr COLORREF MUTE_CROSS = RGB(230, 40, 40);
constexpr COLORREF UNLIT_SEGMENT = RGB(56, 56, 56);

// The staged library, loaded as kova loads it, with its preferred export.
class DisplayLibrary {
public:
    DisplayLibrary(const char* file, const char* exportName)
        : m_module(LoadLibraryA(StagedPath(file).c_str())),
          m_call(m_module ? reinterpret_cast<OsdDisplayFunction>(GetProcAddress(m_module, exportName)) : nullptr)
    {
    }
    ~DisplayLibrary()
    {
        if (m_module) {
            FreeLibrary(m_module);
        }
    }
    DisplayLibrary(const DisplayLibrary&) = delete;
    DisplayLibrary& operator=(const DisplayLibrary&) = delete;

    bool Loaded() const { return m_call != nullptr; }
    BOOL Show(OsdRecord& record) const { return m_call(&record); }

private:
    HMODULE m_module;
    OsdDisplayFunction m_call;
};

OsdRecord TextRecord(const char* text, COLORREF color, uint32_t kind, uint32_t timeMs)
{
    OsdRecord r{};
    r.Size = OSD_RECORD_SIZE;
    r.Type = OSD_TYPE_TEXT;
    r.Color = color;
    r.Kind = kind;
    r.TimeMs = timeMs;
    r.Height = 5;  // large letters: plenty of pixels to find
    r.Margin = 5;
    r.Font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(r.Font.lfFaceName, "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e");
    r.Text = text;
    return r;
}

OsdRecord PictureRecord(uint32_t picture, uint32_t value, uint32_t kind)
{
    OsdRecord r{};
    r.Size = OSD_RECORD_SIZE;
    r.Type = OSD_TYPE_BAR;
    r.Picture = picture;
    r.Color = BAR_COLOR;
    r.Kind = kind;
    r.TimeMs = 3000;
    r.Height = 10;
    r.BarMax = 100;
    r.BarValue = value;
    r.BarSegments = 10;
    r.BarLength = 20;  // picture and bar fit in one cell of the grid
    return r;
}

int CountOnScreen(COLORREF color, const RECT& area)
{
    ScreenCapture capture;
    return capture.Grab() ? capture.Count(color, area) : -1;
}

TEST(OsdScreenTest, TextAppearsInItsColourAndPlaceAndGoesAfterItsTime)
{
    DisplayLibrary library("orlanosd.dll", "OnScreen_DisplayA");
    ASSERT_TRUE(library.Loaded());
    const RECT centre = GridCell(4);
    ASSERT_EQ(CountOnScreen(TEXT_COLOR, GridCell(0)), 0) << "the screen must start without the colour";

    const uint32_t timeMs = 2500;
    OsdRecord record = TextRecord("KOVA 88", TEXT_COLOR, 4, timeMs);
    DWORD start = GetTickCount();
    ASSERT_TRUE(library.Show(record));
    ASSERT_TRUE(WaitUntil([&] { return CountOnScreen(TEXT_COLOR, centre) > 300; }, SHOW_TIMEOUT_MS))
        << "no text of the requested colour in the centre of the screen";

    ScreenCapture shot;
    ASSERT_TRUE(shot.Grab());
    EXPECT_EQ(shot.CountEverywhere(TEXT_COLOR), shot.Count(TEXT_COLOR, centre)) << "drawn only in the centre cell";
    RECT box = shot.Bounds(TEXT_COLOR);
    EXPECT_GT(box.right - box.left, box.bottom - box.top) << "a line of text is wider than high";
    // Outlined: right above the letters the outline colour shows.
    COLORREF above = shot.Pixels().At((box.left + box.right) / 2, box.top - 1);
    EXPECT_EQ(above, RGB(0, 0, 0)) << "outline above the text";

    HWND window = VisibleDisplayWindow();
    ASSERT_NE(window, nullptr);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof(cls));
    EXPECT_EQ(std::strncmp(cls, "Afx:", 4), 0) << cls;
    LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
    const LONG wanted = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
    EXPECT_EQ(ex & wanted, wanted) << "topmost, click-through, never activated";
    EXPECT_NE(GetForegroundWindow(), window);

    ASSERT_TRUE(WaitUntil([&] { return CountOnScreen(TEXT_COLOR, centre) == 0; }, GONE_TIMEOUT_MS))
        << "the text stayed after its time";
    EXPECT_GE(GetTickCount() - start, timeMs - 100) << "gone before its time";
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST(OsdScreenTest, ANewTextReplacesTheOneShownAtOnce)
{
    DisplayLibrary library("orlanosd.dll", "OnScreen_DisplayA");
    ASSERT_TRUE(library.Loaded());
    OsdRecord first = TextRecord("FIRST", TEXT_COLOR, 0, 20000);
    ASSERT_TRUE(library.Show(first));
    ASSERT_TRUE(WaitUntil([&] { return CountOnScreen(TEXT_COLOR, GridCell(0)) > 200; }, SHOW_TIMEOUT_MS));

    OsdRecord second = TextRecord("SECOND", BAR_COLOR, 8, 1500);
    ASSERT_TRUE(library.Show(second));
    ASSERT_TRUE(WaitUntil([&] { return CountOnScreen(BAR_COLOR, GridCell(8)) > 200; }, SHOW_TIMEOUT_MS));
    EXPECT_EQ(CountOnScreen(TEXT_COLOR, GridCell(0)), 0) << "the first text is gone, long before its 20 s";
    EXPECT_TRUE(WaitUntil([&] { return CountOnScreen(BAR_COLOR, GridCell(8)) == 0; }, GONE_TIMEOUT_MS));
}

TEST(OsdScreenTest, ASymbolIsDrawnAsItsShape)
{
    DisplayLibrary library("orlanosd.dll", "OnScreen_DisplayA");
    ASSERT_TRUE(library.Loaded());
    OsdRecord record = TextRecord("4", TEXT_COLOR, 4, 2000);  // "4" is the play triangle of the symbol font
    record.Font.lfCharSet = SYMBOL_CHARSET;
    std::strcpy(record.Font.lfFaceName, "Webdings");
    ASSERT_TRUE(library.Show(record));
    ScreenCapture shot;
    ASSERT_TRUE(WaitUntil([&] { return shot.Grab() && shot.Count(TEXT_COLOR, GridCell(4)) > 300; }, SHOW_TIMEOUT_MS));
    RECT box = shot.Bounds(TEXT_COLOR);
    LONG middle = (box.left + box.right) / 2;
    int left = shot.Count(TEXT_COLOR, RECT{box.left, box.top, middle, box.bottom});
    int right = shot.Count(TEXT_COLOR, RECT{middle, box.top, box.right, box.bottom});
    EXPECT_GT(left, 2 * right) << "a triangle pointing right, not the digit 4";
    EXPECT_TRUE(WaitUntil([&] { return CountOnScreen(TEXT_COLOR, GridCell(4)) == 0; }, GONE_TIMEOUT_MS));
}

// Columns of the bar row that hold a lit or an unlit segment, from left to
// right (the picture lies left of left).
void CountBarColumns(const ScreenCapture& shot, int left, int right, int row, int* lit, int* unlit)
{
    *lit = *unlit = 0;
    for (int x = left; x < right; ++x) {
        COLORREF c = shot.Pixels().At(x, row);
        *lit += c == BAR_COLOR;
        *unlit += c == UNLIT_SEGMENT;
    }
}

TEST(OsdScreenTest, TheVolumePictureShowsItsValue)
{
    DisplayLibrary library("OSDPIC.dll", "OnScreen_ImageA");
    ASSERT_TRUE(library.Loaded());
    const RECT cell = GridCell(4);
    OsdRecord record = PictureRecord(OSD_PICTURE_VOLUME, 30, 4);
    ASSERT_TRUE(library.Show(record));
    ScreenCapture shot;
    ASSERT_TRUE(WaitUntil([&] { return shot.Grab() && shot.Count(UNLIT_SEGMENT, cell) > 200; }, SHOW_TIMEOUT_MS));
    RECT unlitBox = shot.Bounds(UNLIT_SEGMENT);
    int lit = 0;
    int unlit = 0;
    // The bar is 20 % of the work area wide and ends with the last unlit segment.
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int barLength = (area.right - area.left) * 20 / 100;
    CountBarColumns(shot, unlitBox.right - barLength, unlitBox.right, (unlitBox.top + unlitBox.bottom) / 2, &lit,
                    &unlit);
    // 3 of 10 segments lit: 3 lit columns for every 7 unlit ones.
    ASSERT_GT(unlit, 0);
    double share = static_cast<double>(lit) / (lit + unlit);
    EXPECT_NEAR(share, 0.3, 0.08) << lit << " lit and " << unlit << " unlit columns";
    EXPECT_EQ(shot.Count(MUTE_CROSS, cell), 0) << "no cross on the volume picture";

    OsdRecord mute = PictureRecord(OSD_PICTURE_MUTE, 30, 4);
    ASSERT_TRUE(library.Show(mute));
    EXPECT_TRUE(WaitUntil([&] { return shot.Grab() && shot.Count(MUTE_CROSS, cell) > 20; }, SHOW_TIMEOUT_MS))
        << "the mute picture crosses the speaker out";
    EXPECT_TRUE(WaitUntil([&] { return CountOnScreen(UNLIT_SEGMENT, cell) == 0; }, GONE_TIMEOUT_MS));
}

// ---- The controller's hiding step ------------------------------------------------

LONG g_probeTimers = 0;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == OSD_HIDE_TIMER_ID) {
        InterlockedIncrement(&g_probeTimers);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* className, DWORD style)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, className, "", WS_POPUP | style, 0, 0, 10, 10,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

class OsdHidingTest : public ::testing::Test {
protected:
    // Texts shown by tests running meanwhile would hide these windows too:
    // ctest runs this suite alone (see tests/CMakeLists.txt).
    void SetUp() override { ResetConfigStoreForTests(); }
    void TearDown() override { ResetConfigStoreForTests(); }
    RegistrySandbox registry;
};

TEST_F(OsdHidingTest, HideOsdWindowsHidesTheDisplayOfThisProcess)
{
    COsdControl osd;
    ASSERT_EQ(COsdControl::TextAvailable(), 1u);
    osd.ShowText("hide me", FALSE);
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (window = VisibleDisplayWindow()) != nullptr; }, SHOW_TIMEOUT_MS));
    osd.HideOsdWindows();
    EXPECT_FALSE(IsWindowVisible(window));
    osd.ShowText("again", FALSE);
    EXPECT_TRUE(WaitUntil([&] { return VisibleDisplayWindow() != nullptr; }, SHOW_TIMEOUT_MS)) << "a new text shows";
}

TEST_F(OsdHidingTest, ATextFirstHidesTheDisplayOfTheKeyboardProgram)
{
    // This process plays the keyboard program, with an earlier display window.
    HWND keyboard = MakeWindow(KEYBOARD_WINDOW_CLASS, 0);
    HWND earlier = MakeWindow("Afx:10000000:208", WS_VISIBLE);
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(IsWindowVisible(earlier));
    ASSERT_EQ(FindWindowA(KEYBOARD_WINDOW_CLASS, nullptr), keyboard);

    COsdControl osd;
    osd.ShowText("new", FALSE);
    EXPECT_FALSE(IsWindowVisible(earlier));
    EXPECT_TRUE(WaitUntil([] { return g_probeTimers == 1; }, SHOW_TIMEOUT_MS)) << "told its time is up";
    DestroyWindow(earlier);
    DestroyWindow(keyboard);
}

TEST_F(OsdHidingTest, BarsHideNothing)
{
    HWND keyboard = MakeWindow(KEYBOARD_WINDOW_CLASS, 0);
    HWND earlier = MakeWindow("Afx:probe", WS_VISIBLE);
    COsdControl osd;
    osd.ShowVolumeImage(1000, FALSE);
    osd.ShowVolumeLevel(1000, FALSE);
    EXPECT_TRUE(IsWindowVisible(earlier));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, earlier, WM_TIMER, WM_TIMER, PM_NOREMOVE)) << "nothing posted to it";
    DestroyWindow(earlier);
    DestroyWindow(keyboard);
}

}  // namespace
