#include "util/util_document.h"

#include "config/controls.h"
#include "config/device_identities.h"
#include "config/onscreen_settings.h"
#include "config/target_window_table.h"

#include <algorithm>

void UtilDocument::Load()
{
    Ensure(HKEY_LOCAL_MACHINE, DEVICE_IDENTITY_KEY, KeyTiming::AtStart);
    Ensure(HKEY_LOCAL_MACHINE, CONTROLS_KEY, KeyTiming::AtStart);
    Ensure(HKEY_LOCAL_MACHINE, TARGET_WINDOWS_KEY, KeyTiming::AtStart);
    Ensure(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, KeyTiming::Reload);
}

UtilDocument::Key* UtilDocument::FindKey(HKEY root, const std::string& path)
{
    for (auto& key : m_keys) {
        if (key->Original.Root == root && lstrcmpiA(key->Original.Path.c_str(), path.c_str()) == 0) {
            return key.get();
        }
    }
    return nullptr;
}

UtilDocument::Key& UtilDocument::Ensure(HKEY root, const std::string& path, KeyTiming timing)
{
    if (Key* key = FindKey(root, path)) {
        return *key;
    }
    auto key = std::make_unique<Key>();
    key->Original = KeyImage::Read(root, path);
    key->Candidate = key->Original;
    key->Timing = timing;
    m_keys.push_back(std::move(key));
    return *m_keys.back();
}

KeyImage& UtilDocument::Candidate(HKEY root, const std::string& path, KeyTiming timing)
{
    return Ensure(root, path, timing).Candidate;
}

const KeyImage& UtilDocument::Original(HKEY root, const std::string& path)
{
    return Ensure(root, path, KeyTiming::EachPress).Original;
}

std::vector<const KeyImage*> UtilDocument::Candidates() const
{
    std::vector<const KeyImage*> images;
    for (const auto& key : m_keys) {
        images.push_back(&key->Candidate);
    }
    return images;
}

std::vector<const KeyImage*> UtilDocument::ChangedCandidates() const
{
    std::vector<const KeyImage*> images;
    for (const auto& key : m_keys) {
        if (!DiffValues(key->Original, key->Candidate).empty()) {
            images.push_back(&key->Candidate);
        }
    }
    return images;
}

bool UtilDocument::Has(HKEY root, const std::string& path) const
{
    return std::any_of(m_keys.begin(), m_keys.end(), [&](const auto& key) {
        return key->Original.Root == root && lstrcmpiA(key->Original.Path.c_str(), path.c_str()) == 0;
    });
}

bool UtilDocument::HasChanges() const
{
    return std::any_of(m_keys.begin(), m_keys.end(),
                       [](const auto& key) { return !DiffValues(key->Original, key->Candidate).empty(); });
}

std::unique_ptr<TrialResult> UtilDocument::Trial() const { return RunTrial(Candidates()); }

void UtilDocument::FindRefusals(const TrialResult& trial, std::vector<Refusal>& out) const
{
    for (const auto& key : m_keys) {
        ::FindRefusals(trial.Reads, key->Original, key->Candidate, out);
    }
}

LONG UtilDocument::Save(std::string* failedPlace)
{
    m_savedTimings.clear();
    for (auto& key : m_keys) {
        std::vector<ValueChange> changes = DiffValues(key->Original, key->Candidate);
        if (changes.empty()) {
            continue;
        }
        LONG rc = WriteChanges(key->Original, key->Candidate);
        if (rc != ERROR_SUCCESS) {
            if (failedPlace) {
                *failedPlace = key->Candidate.PlaceName();
            }
            return rc;
        }
        for (const ValueChange& change : changes) {
            bool eachUse = IsReadAtEachUse(key->Candidate, change.Name);
            m_savedTimings.push_back(eachUse ? KeyTiming::Reload : key->Timing);
        }
        key->Original = key->Candidate;
        key->Original.Exists = true;
    }
    return ERROR_SUCCESS;
}

bool UtilDocument::SavedChangesOf(KeyTiming timing) const
{
    return std::find(m_savedTimings.begin(), m_savedTimings.end(), timing) != m_savedTimings.end();
}

bool IsReadAtEachUse(const KeyImage& image, const std::string& name)
{
    return image.Root == HKEY_LOCAL_MACHINE && lstrcmpiA(image.Path.c_str(), CONTROLS_KEY) == 0 &&
           (lstrcmpiA(name.c_str(), "LaunchDelay") == 0 || lstrcmpiA(name.c_str(), "OSD_Enable") == 0);
}
