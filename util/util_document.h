#pragma once
// Everything the utility edits: each registry key it touches, as read at the
// start (the original) and as the pages have changed it (the candidate).
// Saving writes the differences and nothing else.

#include <windows.h>

#include "util/key_image.h"
#include "util/trial_load.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// When kova reads a key: the values of keys read at start need a restart of
// kova, the user's on-screen settings a reload message, the rest nothing.
enum class KeyTiming { AtStart, Reload, EachPress };

class UtilDocument {
public:
    // Reads the keys every page starts from.
    void Load();

    // The candidate of a key, read from the registry on first use.
    KeyImage& Candidate(HKEY root, const std::string& path, KeyTiming timing = KeyTiming::EachPress);
    const KeyImage& Original(HKEY root, const std::string& path);

    std::vector<const KeyImage*> Candidates() const;
    // The candidates that differ from what was read.
    std::vector<const KeyImage*> ChangedCandidates() const;
    // Whether a page has asked for the key yet.
    bool Has(HKEY root, const std::string& path) const;
    bool HasChanges() const;

    // kova's loaders over the candidates.
    std::unique_ptr<TrialResult> Trial() const;
    // The values about to be written that kova would not take (the generic
    // rule; the pages add what only they can see).
    void FindRefusals(const TrialResult& trial, std::vector<Refusal>& out) const;

    // Writes every changed value. On failure: the error and the key's place;
    // keys written before it stay written.
    LONG Save(std::string* failedPlace);
    // Whether the last Save changed values of the given timing.
    bool SavedChangesOf(KeyTiming timing) const;

    // The check made last (the frame makes one after every change), for the
    // pages; null before the first.
    const TrialResult* LastTrial() const { return m_lastTrial.get(); }
    void SetLastTrial(std::unique_ptr<TrialResult> trial) { m_lastTrial = std::move(trial); }

    // Called by the pages after each change of a candidate.
    std::function<void()> Changed;
    void NotifyChanged() const
    {
        if (Changed) {
            Changed();
        }
    }

private:
    struct Key {
        KeyImage Original;
        KeyImage Candidate;
        KeyTiming Timing;
    };
    Key* FindKey(HKEY root, const std::string& path);
    Key& Ensure(HKEY root, const std::string& path, KeyTiming timing);

    std::vector<std::unique_ptr<Key>> m_keys;
    std::vector<KeyTiming> m_savedTimings;
    std::unique_ptr<TrialResult> m_lastTrial;
};

// Values of a key read at start that kova nevertheless reads at each use
// (LaunchDelay) or on a reload (OSD_Enable): changing them needs no restart.
bool IsReadAtEachUse(const KeyImage& image, const std::string& name);
