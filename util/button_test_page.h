#pragma once
// Button test: while the page shows, the utility reads the receiver's
// collections itself (beside kova, which reads them too) and shows each
// button's name and code as the Windows-free decoder gives them, and what
// kova would do with it.

#include "util/util_page.h"

#include "hid/hid_device.h"
#include "keys/report_decoder.h"

#include <memory>
#include <string>
#include <vector>

class ButtonTestPage : public UtilPage {
public:
    explicit ButtonTestPage(UtilDocument& document);
    ~ButtonTestPage() override;

    void Shown(bool shown) override;

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Reader {
        std::unique_ptr<CHidDevice> Device;
        uint32_t DeviceFlags = 0;
    };

    // Opens every collection present that kova would open as the receiver.
    void OpenReceivers();
    void CloseReceivers();
    Reader* FindReader(LPARAM device);
    void OnReport(Reader& reader);
    void ShowPress(const KeyAction& action);
    // What kova does with the press under the settings on the pages.
    std::string DescribeAction(const KeyAction& action) const;

    std::vector<Reader> m_readers;
    KeyDecoderState m_state{};
    bool m_radio = false;
    HDEVNOTIFY m_notice = nullptr;
};

// The handler's name as the key controller calls it ("OnRemoteButton").
const char* KeyHandlerName(KeyHandler handler);
