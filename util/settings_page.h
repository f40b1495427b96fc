#pragma once
// Settings: every value of the Controls key with its default and what kova
// makes of it, and the user's on-screen settings with a preview drawn by
// the display libraries.

#include "util/util_page.h"

#include <memory>
#include <string>
#include <vector>

class COsdControl;

class SettingsPage : public UtilPage {
public:
    explicit SettingsPage(UtilDocument& document);
    ~SettingsPage() override;

    void ShowTrial(const TrialResult& trial) override;

protected:
    void OnInit() override;
    void OnCommand(int id, int code) override;

private:
    struct Row {
        std::string Name;
        bool HasDefault;
        uint32_t Default;
    };

    KeyImage& Controls();
    KeyImage& OnScreen();
    void FillControls(const TrialResult& trial);
    void FillOnScreen(const TrialResult& trial);
    void ShowRow(int row);
    void StoreValue(int row);
    // An on-screen number edit changed: stored when it is a number, taken
    // away when empty.
    void OnScreenNumberChanged(int id, const char* name);
    void ChooseColour();

    std::vector<Row> m_rows;
    std::unique_ptr<COsdControl> m_osd;
};
