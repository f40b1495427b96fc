#include "util/trial_load.h"

#include "config/config_report.h"

#include <algorithm>
#include <cstdio>

TrialLoad::TrialLoad()
{
    char path[128];
    std::snprintf(path, sizeof(path), "%s %lu", TRIAL_SCRATCH_KEY, GetCurrentProcessId());
    m_scratchPath = path;
    HKEY key = nullptr;
    // Volatile: a utility that dies in the middle leaves nothing behind
    // after the next logon.
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_scratchPath.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
        m_scratch.reset(key);
    }
}

TrialLoad::~TrialLoad()
{
    m_keys.clear();
    m_scratch.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, m_scratchPath.c_str());
}

void TrialLoad::Place(const KeyImage& image)
{
    if (!image.Exists && image.Values.empty()) {
        m_overlay.Map(image.Root, image.Path.c_str(), nullptr);
        return;
    }
    char name[16];
    std::snprintf(name, sizeof(name), "%zu", m_keys.size());
    HKEY key = nullptr;
    if (!m_scratch || RegCreateKeyExA(m_scratch.get(), name, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                      &key, nullptr) != ERROR_SUCCESS) {
        // Without a scratch key the loaders read the stored values: the
        // candidate is judged as if it were not there.
        return;
    }
    m_keys.emplace_back(key);
    WriteValues(key, image);
    m_overlay.Map(image.Root, image.Path.c_str(), key);
}

TrialResult::TrialResult() : Windows(std::make_unique<TargetWindowTable>()) {}

TrialResult::~TrialResult() { ReleaseDeviceIdentities(Identities); }

std::unique_ptr<TrialResult> RunTrial(const std::vector<const KeyImage*>& candidates)
{
    auto result = std::make_unique<TrialResult>();
    {
        TrialLoad trial;
        for (const KeyImage* image : candidates) {
            trial.Place(*image);
        }
        // The order of kova's own load sequence.
        LoadDeviceIdentities(result->Identities);
        LoadControlSettings(result->Controls);
        LoadTargetWindows(*result->Windows);
        ReadOnScreenSettings(HKEY_LOCAL_MACHINE, ONSCREEN_DEFAULT_KEY, result->OnScreen);
        ReadOnScreenSettings(HKEY_CURRENT_USER, ONSCREEN_USER_KEY, result->OnScreen);
        ReadOsdEnable(result->OnScreen);
        result->LaunchDelay = ReadLaunchDelay();
        result->Reads = trial.Log().Reads();
    }
    return result;
}

void FindRefusals(const std::vector<ValueRead>& reads, const KeyImage& original, const KeyImage& candidate,
                  std::vector<Refusal>& out)
{
    // A key these loaders never open (the launch profiles, the one-touch
    // sets) is judged by its page through the loader that reads it.
    const bool keyRead = std::any_of(reads.begin(), reads.end(), [&](const ValueRead& read) {
        return read.Root == candidate.Root && lstrcmpiA(read.Key.c_str(), candidate.Path.c_str()) == 0;
    });
    if (!keyRead) {
        return;
    }
    for (const ValueChange& change : DiffValues(original, candidate)) {
        if (change.Removed) {
            continue;
        }
        const ValueRead* read = FindValueRead(reads, candidate.Root, candidate.Path.c_str(), change.Name.c_str());
        std::string reason = read ? DescribeIgnoredRead(*read) : std::string(NOT_READ_NOTE);
        if (!reason.empty()) {
            out.push_back({candidate.PlaceName(), change.Name, reason});
        }
    }
}
