#include "keys/report_decoder.h"

namespace {

// Input kinds the tray icon may blink for.
constexpr uint16_t KIND_REMOTE = 2;
constexpr uint16_t KIND_KEYBOARD = 3;
constexpr uint16_t KIND_MEDIA_CENTER = 4;
constexpr uint16_t KIND_EXTRA = 5;
constexpr uint16_t KIND_PANEL = 6;

constexpr uint16_t REMOTE_BATTERY_BITS = 0xE000;
constexpr uint16_t REMOTE_CODE_BITS = 0x1FFF;
constexpr uint16_t REMOTE_BATTERY_LOW_0 = 0x8000;
constexpr uint16_t REMOTE_BATTERY_LOW_1 = 0x4000;
constexpr uint16_t DIGIT_BITS = 0x0FFF;

constexpr uint16_t RF_MUTE = 226;
constexpr uint16_t RF_VALUE_KIND = 69;

// A report as the device delivered it: bytes it lacks read as 0.
class ReportBytes {
public:
    ReportBytes(const uint8_t* data, size_t length) : m_data(data), m_length(data ? length : 0) {}
    uint8_t operator[](size_t i) const { return i < m_length ? m_data[i] : 0; }
    uint16_t Word(size_t i) const { return static_cast<uint16_t>((*this)[i] | ((*this)[i + 1] << 8)); }
    size_t Length() const { return m_length; }

private:
    const uint8_t* m_data;
    size_t m_length;
};

void Flash(KeyActions& out, uint16_t kind) { out.Add({KeyActionKind::Flash, KeyHandler::Report, kind, 0, 0}); }

void Call(KeyActions& out, KeyHandler handler, uint16_t code, uint32_t state, uint16_t value = 0)
{
    out.Add({KeyActionKind::Call, handler, code, value, state});
}

uint32_t CountNonZero(std::initializer_list<uint16_t> fields)
{
    uint32_t count = 0;
    for (uint16_t f : fields) {
        count += f != 0;
    }
    return count;
}

// The first nonzero field of a keyboard report, in handler order; false when
// all are zero.
bool FirstKeyboardField(const KeyboardReportState& s, KeyHandler* handler, uint16_t* code)
{
    const struct {
        uint16_t value;
        KeyHandler handler;
    } fields[] = {
        {s.Consumer, KeyHandler::ConsumerKey},   {s.Function, KeyHandler::FunctionKey},
        {s.Application, KeyHandler::ApplicationKey}, {s.Digits, KeyHandler::DigitKey},
        {s.Mode, KeyHandler::ModeKey},
    };
    for (const auto& f : fields) {
        if (f.value != 0) {
            *handler = f.handler;
            *code = f.value;
            return true;
        }
    }
    return false;
}

void DecodeRemoteWord(KeyDecoderState& state, const ReportBytes& r, uint32_t deviceFlags, bool batteryWarning,
                      KeyActions& out)
{
    uint16_t word = r.Word(1);
    uint16_t code = word;
    if (word & REMOTE_BATTERY_BITS) {
        code = word & REMOTE_CODE_BITS;
        if (batteryWarning && (word & REMOTE_BATTERY_LOW_0)) {
            out.Add({KeyActionKind::BatteryLow, KeyHandler::Report, 0, 0, 0});
        }
        if (batteryWarning && (word & REMOTE_BATTERY_LOW_1)) {
            out.Add({KeyActionKind::BatteryLow, KeyHandler::Report, 1, 0, 0});
        }
    }
    if (code != 0) {
        // A new code releases the held one first, even the same code.
        if (state.LastRemoteCode != 0) {
            Call(out, KeyHandler::RemoteButton, state.LastRemoteCode, 0);
        }
        if (deviceFlags == 0) {
            Flash(out, KIND_REMOTE);
        }
        Call(out, KeyHandler::RemoteButton, code, 1);
    } else {
        Call(out, KeyHandler::RemoteButton, state.LastRemoteCode, 0);
    }
    state.LastRemoteCode = code;
}

void DecodeKeyboard(KeyDecoderState& state, const ReportBytes& r, KeyActions& out)
{
    KeyboardReportState now{};
    now.Consumer = r.Word(1);
    now.Function = r[3];
    now.Application = r[4];
    now.Digits = static_cast<uint16_t>(r.Word(5) & DIGIT_BITS);
    now.Mode = static_cast<uint16_t>(r[6] >> 4);
    now.Count = CountNonZero({now.Consumer, now.Function, now.Application, now.Digits, now.Mode});

    KeyHandler handler;
    uint16_t code;
    if (now.Count > 0) {
        Flash(out, KIND_KEYBOARD);
        if (FirstKeyboardField(now, &handler, &code)) {
            Call(out, handler, code, 1);
        }
    } else if (FirstKeyboardField(state.LastKeyboardState, &handler, &code)) {
        Call(out, handler, code, 0);
    }
    state.LastKeyboardState = now;
}

void DecodeMediaCenter(KeyDecoderState& state, const ReportBytes& r, KeyActions& out)
{
    uint16_t code = r.Word(1);
    if (code != 0) {
        Flash(out, KIND_MEDIA_CENTER);
        Call(out, KeyHandler::MediaCenterKey, code, 1);
    } else {
        Call(out, KeyHandler::MediaCenterKey, state.LastMediaCenterCode, 0);
    }
    state.LastMediaCenterCode = code;
}

KeyPairState DecodePair(const ReportBytes& r)
{
    KeyPairState pair{};
    pair.First = r[1];
    pair.Second = r[2];
    pair.Count = CountNonZero({pair.First, pair.Second});
    return pair;
}

void DecodeExtra(KeyDecoderState& state, const ReportBytes& r, KeyActions& out)
{
    KeyPairState now = DecodePair(r);
    if (now.Count > 0) {
        Flash(out, KIND_EXTRA);
        if (now.First != 0) {
            Call(out, KeyHandler::ExtraKey, now.First, 1);
        } else {
            Call(out, KeyHandler::ExtraKey2, now.Second, 1);
        }
    } else if (state.LastExtraState.First != 0) {
        // A held second key is never released: the receiver sends it alone.
        Call(out, KeyHandler::ExtraKey, state.LastExtraState.First, 0);
    }
    state.LastExtraState = now;
}

void DecodePanel(KeyDecoderState& state, const ReportBytes& r, KeyActions& out)
{
    KeyPairState now = DecodePair(r);
    if (now.Count > 0) {
        Flash(out, KIND_PANEL);
        if (now.First != 0) {
            Call(out, KeyHandler::PanelKey, now.First, 1);
        } else {
            Call(out, KeyHandler::PanelKey2, now.Second, 1);
        }
    } else if (state.LastPanelState.First != 0) {
        Call(out, KeyHandler::PanelKey, state.LastPanelState.First, 0);
    } else if (state.LastPanelState.Second != 0) {
        Call(out, KeyHandler::PanelKey2, state.LastPanelState.Second, 0);
    }
    state.LastPanelState = now;
}

// The code a radio report carries, by its ID; false for an unknown ID.
bool RfCode(const ReportBytes& r, uint32_t inputLength, uint16_t* code)
{
    switch (r[0]) {
    case RF_REPORT_VOLUME:
        *code = inputLength == 3 ? r.Word(1) : 0;
        return true;
    case RF_REPORT_CONSUMER:
        *code = r.Word(1);
        if (inputLength > 4 && *code == 0) {
            *code = r.Word(4);
        }
        return true;
    case RF_REPORT_MEDIA_CENTER:
        *code = r[1];
        if (inputLength > 2 && *code == 0) {
            *code = r[2];
        }
        return true;
    case RF_REPORT_KEYS:
    case RF_REPORT_VALUE:
        *code = r[1];
        return true;
    default:
        return false;
    }
}

// The radio dispatch, one row per code as the receiver's table lists it.
// The first row whose report ID and code match decides: call `handler` with
// `code` (AS_SENT: the code itself), flash `flashKind` on a press (0: never),
// and with `onlyOnChange` not at all when the new code equals the held one.
// Codes of IDs 1, 2 and 4 without a row are ignored.
constexpr uint16_t AS_SENT = 0xFFFF;

struct RfRow {
    uint8_t reportId;
    bool anyCode;
    uint16_t effective;
    KeyHandler handler;
    uint16_t code;
    uint16_t flashKind;
    bool onlyOnChange;
};

constexpr RfRow RF_ROWS[] = {
    {RF_REPORT_VOLUME, false, RF_MUTE, KeyHandler::ConsumerKey, RF_MUTE, 0, false},
    {RF_REPORT_VOLUME, false, RF_VOLUME_UP, KeyHandler::RemoteButton, REMOTE_VOLUME_UP, 0, false},
    {RF_REPORT_VOLUME, false, RF_VOLUME_DOWN, KeyHandler::RemoteButton, REMOTE_VOLUME_DOWN, 0, false},

    {RF_REPORT_CONSUMER, false, 64, KeyHandler::ConsumerKey, 64, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, 156, KeyHandler::ConsumerKey, 156, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, 157, KeyHandler::ConsumerKey, 157, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, 178, KeyHandler::ConsumerKey, 178, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, RF_MUTE, KeyHandler::ConsumerKey, RF_MUTE, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, 516, KeyHandler::ConsumerKey, 516, KIND_KEYBOARD, false},
    {RF_REPORT_CONSUMER, false, 141, KeyHandler::ConsumerKey, 141, KIND_KEYBOARD, true},
    {RF_REPORT_CONSUMER, false, 521, KeyHandler::ConsumerKey, 521, KIND_KEYBOARD, true},
    {RF_REPORT_CONSUMER, false, 96, KeyHandler::DataKey, 96, KIND_EXTRA, false},
    {RF_REPORT_CONSUMER, false, 100, KeyHandler::MediaCenterKey, 44, KIND_MEDIA_CENTER, false},
    {RF_REPORT_CONSUMER, false, RF_VOLUME_UP, KeyHandler::RemoteButton, REMOTE_VOLUME_UP, KIND_REMOTE, false},
    {RF_REPORT_CONSUMER, false, RF_VOLUME_DOWN, KeyHandler::RemoteButton, REMOTE_VOLUME_DOWN, KIND_REMOTE, false},

    {RF_REPORT_MEDIA_CENTER, false, 65, KeyHandler::MediaCenterKey, AS_SENT, KIND_MEDIA_CENTER, true},
    {RF_REPORT_MEDIA_CENTER, false, 72, KeyHandler::MediaCenterKey, AS_SENT, KIND_MEDIA_CENTER, true},
    {RF_REPORT_MEDIA_CENTER, true, 0, KeyHandler::MediaCenterKey, AS_SENT, KIND_MEDIA_CENTER, false},

    {RF_REPORT_KEYS, false, 86, KeyHandler::ExtraKey, 32, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 87, KeyHandler::ExtraKey, 33, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 88, KeyHandler::ExtraKey, 34, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 89, KeyHandler::ExtraKey, 89, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 90, KeyHandler::ExtraKey, 90, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 91, KeyHandler::ExtraKey, 91, KIND_EXTRA, false},
    {RF_REPORT_KEYS, false, 96, KeyHandler::ApplicationKey, 16, KIND_KEYBOARD, false},
    {RF_REPORT_KEYS, false, 97, KeyHandler::ApplicationKey, 2, KIND_KEYBOARD, false},
    {RF_REPORT_KEYS, false, 102, KeyHandler::FunctionKey, 16, KIND_KEYBOARD, true},
    {RF_REPORT_KEYS, false, 103, KeyHandler::ModeKey, 6, KIND_KEYBOARD, false},
    {RF_REPORT_KEYS, false, 104, KeyHandler::ModeKey, 5, KIND_KEYBOARD, false},
    {RF_REPORT_KEYS, false, 115, KeyHandler::ModeKey, 1, KIND_KEYBOARD, false},
    {RF_REPORT_KEYS, false, 105, KeyHandler::ExtraKey, 95, KIND_EXTRA, true},
    // The effect key passes its state as both arguments.
    {RF_REPORT_KEYS, false, 116, KeyHandler::EffectKey, 0, KIND_EXTRA, false},

    // The value key passes the code as its value, RF_VALUE_KIND as its kind.
    {RF_REPORT_VALUE, true, 0, KeyHandler::ValueKey, RF_VALUE_KIND, 0, false},
};

const RfRow* RfRowFor(uint8_t id, uint16_t effective)
{
    for (const RfRow& row : RF_ROWS) {
        if (row.reportId == id && (row.anyCode || row.effective == effective)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

void DecodeClassicReport(KeyDecoderState& state, const uint8_t* report, size_t length, uint32_t deviceFlags,
                         bool batteryWarning, KeyActions& out)
{
    ReportBytes r(report, length);
    if (r.Length() == 0) {
        return;
    }
    switch (r[0]) {
    case CLASSIC_REPORT_REMOTE: DecodeRemoteWord(state, r, deviceFlags, batteryWarning, out); break;
    case CLASSIC_REPORT_KEYBOARD: DecodeKeyboard(state, r, out); break;
    case CLASSIC_REPORT_MEDIA_CENTER: DecodeMediaCenter(state, r, out); break;
    case CLASSIC_REPORT_EXTRA: DecodeExtra(state, r, out); break;
    case CLASSIC_REPORT_PANEL: DecodePanel(state, r, out); break;
    default: break;
    }
    Call(out, KeyHandler::Report, r[0], 0);
}

void StopRfVolumeRepeat(KeyDecoderState& state, KeyActions& out)
{
    for (int i = 0; i < 2; ++i) {
        uint16_t& held = state.LastRfCode[i];
        if (held == RF_VOLUME_UP || held == RF_VOLUME_DOWN) {
            out.Add({KeyActionKind::VolumeKeyUp, KeyHandler::RemoteButton, held, 0, 0});
            held = 0;
        }
    }
}

void DecodeRfReport(KeyDecoderState& state, const uint8_t* report, size_t length, const RfContext& context,
                    KeyActions& out)
{
    ReportBytes r(report, length);
    if (r.Length() == 0) {
        return;
    }
    uint16_t code = 0;
    bool known = RfCode(r, context.InputReportByteLength, &code);
    if (context.WakeReplyDue && r[1] != 0) {
        out.Add({KeyActionKind::WakeReply, KeyHandler::Report, 0, 0, 0});
    }
    if (!known) {
        return;
    }
    const uint8_t id = r[0];
    if (context.DropUnlessValue && id != RF_REPORT_VALUE) {
        return;
    }
    if (code != 0) {
        StopRfVolumeRepeat(state, out);
    }
    uint16_t& held = state.LastRfCode[id - 1];
    const uint16_t effective = code != 0 ? code : held;
    const uint32_t pressed = code != 0 ? 1 : 0;
    const RfRow* row = RfRowFor(id, effective);
    if (row && !(row->onlyOnChange && code == held)) {
        if (pressed && row->flashKind != 0) {
            Flash(out, row->flashKind);
        }
        switch (row->handler) {
        case KeyHandler::EffectKey:
            Call(out, KeyHandler::EffectKey, static_cast<uint16_t>(pressed), pressed);
            break;
        case KeyHandler::ValueKey:
            Call(out, KeyHandler::ValueKey, row->code, pressed, effective);
            break;
        default:
            Call(out, row->handler, row->code == AS_SENT ? effective : row->code, pressed);
            break;
        }
    }
    held = code;
}
