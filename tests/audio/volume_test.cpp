#include "tests/audio/volume_test.h"

#include "base/app_context.h"
#include "base/messages.h"
#include "config/config.h"
#include "config/onscreen_settings.h"
#include "tests/support/kova_process.h"

namespace {

constexpr char REMOTE_FOLDER[] = "ZUZIDAZOR";
constexpr DWORD UNLOAD_TIMEOUT_MS = 15000;

}  // namespace

void VolumeTest::SetUp()
{
    ResetConfigStoreForTests();
    // Short displays, so the libraries' threads end soon after a test.
    RegistrySandbox::SetDword(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, "Time", 1);
    // The repeat timer runs on the main window; this thread's window plays it.
    window = CreateWindowExA(0, "STATIC", "volume test", WS_POPUP, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(window, nullptr);
    SetAppMainWindow(window);
}

void VolumeTest::TearDown()
{
    Stop();
    SetAppMainWindow(nullptr);
    if (window) {
        DestroyWindow(window);
    }
    // The display threads keep the libraries until they end; the copies can
    // only be removed after that.
    WaitUntil([] { return !GetModuleHandleA(TEXT_LIBRARY) && !GetModuleHandleA(PICTURE_LIBRARY); },
              UNLOAD_TIMEOUT_MS);
    ResetConfigStoreForTests();
}

void VolumeTest::InstallLibraries(bool pictures)
{
    ASSERT_TRUE(programFiles.Put(REMOTE_FOLDER, TEXT_LIBRARY));
    if (pictures) {
        ASSERT_TRUE(programFiles.Put(REMOTE_FOLDER, PICTURE_LIBRARY));
    }
}

void VolumeTest::Start(bool pictures, uint32_t osClass)
{
    InstallLibraries(pictures);
    OverrideOsClassForTests(osClass);
    volume = std::make_unique<CVolCtrl>();
    ASSERT_NE(CVolCtrl::VolumeMixer, nullptr);
    ASSERT_NE(CVolCtrl::VolumeOsd, nullptr);
    ASSERT_EQ(COsdControl::ImageAvailable(), pictures ? 1u : 0u);
}

void VolumeTest::Stop() { volume.reset(); }

void VolumeTest::UseEndpoint(FakeEndpointVolume& fake) const
{
    fake.AddRef();
    Mixer().EndpointVolume.reset(&fake);
}

std::vector<Display> VolumeTest::Displays() const
{
    std::vector<Display> displays;
    for (const std::string& line : journal.Lines()) {
        std::string library = line.substr(0, line.find(' '));
        if (library == TEXT_LIBRARY || library == PICTURE_LIBRARY) {
            displays.push_back(Display{library, ParseJournalFields(line)});
        }
    }
    return displays;
}

std::vector<Display> VolumeTest::WaitForDisplays(size_t count, DWORD timeoutMs) const
{
    WaitUntil([&] { return Displays().size() >= count; }, timeoutMs);
    return Displays();
}

bool VolumeTest::KillStrayRepeatTimer() const { return KillTimer(window, IDT_VOLUME_REPEAT) != FALSE; }

bool VolumeTest::TimerFiresWithin(DWORD waitMs)
{
    Sleep(waitMs);
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE) != FALSE;
}

void VolumeTest::SetMixerControl(int index, uint32_t value) const
{
    ASSERT_EQ(WriteMixerControl(Mixer(), index, value), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

MMRESULT WriteMixerControl(const CMixerCtrl& mixer, int index, uint32_t value)
{
    MIXERCONTROLDETAILS_UNSIGNED detail{value};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwControlID = mixer.Controls[index].dwControlID;
    details.cChannels = 1;
    details.cbDetails = sizeof(detail);
    details.paDetails = &detail;
    return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer.Mixer.get()), &details,
                                  MIXER_SETCONTROLDETAILSF_VALUE);
}
