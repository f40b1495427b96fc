#include "companions/osdview/osd_layout.h"

#include <algorithm>

namespace {

constexpr uint32_t DEFAULT_BAR_PERCENT = 30;
constexpr int MIN_SEGMENT_WIDTH = 3;

}  // namespace

int OsdLineHeight(const OsdRect& screen, uint32_t heightStep)
{
    int h = screen.Height();
    int largest = std::max(OSD_MIN_LINE_HEIGHT, h / 4);
    if (heightStep == 0) {
        return largest;
    }
    int64_t line = h / (2 * static_cast<int64_t>(heightStep));
    return static_cast<int>(std::clamp<int64_t>(line, OSD_MIN_LINE_HEIGHT, largest));
}

int OsdMargin(const OsdRect& screen, uint32_t marginStep)
{
    int h = screen.Height();
    int64_t margin = marginStep ? h / (4 * static_cast<int64_t>(marginStep)) : h / 40;
    return static_cast<int>(std::clamp<int64_t>(margin, 0, h / 8));
}

int OsdBarLength(const OsdRect& screen, uint32_t percent)
{
    uint32_t p = percent ? std::clamp<uint32_t>(percent, 5, 100) : DEFAULT_BAR_PERCENT;
    return static_cast<int>(static_cast<int64_t>(screen.Width()) * p / 100);
}

OsdRect PlaceInGrid(const OsdRect& screen, uint32_t kind, int margin, int width, int height)
{
    width = std::clamp(width, 0, screen.Width());
    height = std::clamp(height, 0, screen.Height());
    margin = std::clamp(margin, 0, std::min((screen.Width() - width) / 2, (screen.Height() - height) / 2));
    uint32_t row = (kind % 9) / 3;
    uint32_t column = kind % 3;

    OsdRect box;
    switch (column) {
    case 0: box.Left = screen.Left + margin; break;
    case 1: box.Left = screen.Left + (screen.Width() - width) / 2; break;
    default: box.Left = screen.Right - margin - width; break;
    }
    switch (row) {
    case 0: box.Top = screen.Top + margin; break;
    case 1: box.Top = screen.Top + (screen.Height() - height) / 2; break;
    default: box.Top = screen.Bottom - margin - height; break;
    }
    box.Right = box.Left + width;
    box.Bottom = box.Top + height;
    return box;
}

uint32_t UsableSegments(uint32_t segments, int length)
{
    uint32_t fit = static_cast<uint32_t>(std::max(1, length / MIN_SEGMENT_WIDTH));
    return std::clamp<uint32_t>(segments, 1, fit);
}

uint32_t LitSegments(uint32_t max, uint32_t value, uint32_t segments)
{
    if (max == 0) {
        return 0;
    }
    uint64_t v = std::min(value, max);
    return static_cast<uint32_t>((v * segments * 2 + max) / (2 * static_cast<uint64_t>(max)));
}
