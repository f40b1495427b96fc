#pragma once
// Remote buttons: the 20 launch profiles of the remote and the one-touch
// sets of the keyboard (the machine's default set and the user's numbered
// sets, with the user's current set). Each assignment has a name, a mode
// and up to 20 entries: a program or shortcut with its parameters and
// working folder, or in mode K a key combination captured by pressing it.

#include "util/util_page.h"

#include <memory>

#include <string>
#include <vector>

// One assignment as the registry holds it.
struct LaunchAssignment {
    std::string Name;
    std::string Mode;                 // the mode text; its first letter counts
    std::vector<std::string> Entries; // "path|parameters", or a decimal key combination
    std::vector<std::string> Works;   // per entry (launch profiles)
    std::string Work;                 // one for all entries (one-touch buttons)
};

// Where an assignment lives.
struct AssignmentPlace {
    bool OneTouch = false;
    int Set = 0;     // one-touch: 0 the machine's default set, else the user's set
    int Button = 1;  // profile number 1..20, or one-touch button 1..5
    HKEY Root() const { return OneTouch && Set > 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }
    std::string KeyPath() const;
};

LaunchAssignment ReadAssignment(const KeyImage& image, const AssignmentPlace& place);
// Writes a into image (its values only: a shorter list loses its tail).
void WriteAssignment(KeyImage& image, const AssignmentPlace& place, const LaunchAssignment& a);

// A key combination of mode K from a hot-key control's value: the modifier
// as the first key, the key as the second, each with its scan code. False
// for none, or for more than one modifier (an entry holds two keys).
bool KeyCombinationOf(WORD hotKey, uint32_t* combination);
// "Ctrl+C" for 0x111D432E.
std::string KeyCombinationText(uint32_t combination);

class CKovaLnchCtrl;
class CTeskLnchCtrl;

class ProfilesPage : public UtilPage {
public:
    explicit ProfilesPage(UtilDocument& document);
    ~ProfilesPage() override;

    void ShowTrial(const TrialResult& trial) override;
    void FindRefusals(const TrialResult& trial, std::vector<Refusal>& out) override;

protected:
    void OnInit() override;
    void OnCommand(int id, int code) override;

private:
    KeyImage& Image(const AssignmentPlace& place);
    void FillPlaces();
    void FillAssignment();
    void FillCurrentSet();
    void Store(const LaunchAssignment& a);
    // The entry from the fields; false when it cannot be made.
    bool EntryFromFields(const LaunchAssignment& a, std::string* entry, std::string* work);
    void ShowEntry(int index);
    void Browse();
    // Whether kova's own profile loader takes the candidate assignment.
    bool LoaderAccepts(const AssignmentPlace& place);
    // Why it does not, by the loader's rules in their order.
    std::string WhyUnusable(const LaunchAssignment& a) const;

    std::vector<AssignmentPlace> m_places;
    AssignmentPlace m_place;
    // The launch controllers whose loaders judge the assignments.
    std::unique_ptr<CKovaLnchCtrl> m_remote;
    std::unique_ptr<CTeskLnchCtrl> m_oneTouch;
};
