// kovashot: saves the screen, or a part of it, as a PNG picture.
//
//   kovashot <out.png> [x y width height]
//
// Without a rectangle the whole virtual screen is taken. Exit codes: 0 saved,
// 64 bad arguments, 1 the screen could not be read, 2 the file could not be
// written.

#include <windows.h>
#include <wincodec.h>

#include "companions/kovashot/screen_grab.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Releases a COM interface once.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (m_p) {
            m_p->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    T** out() { return &m_p; }
    void** outVoid() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_hr;
};

bool ParseNumber(const char* text, long* value)
{
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end && end != text && *end == '\0';
}

// 24-bit rows, each padded to four bytes: what the PNG encoder takes
// without an alpha channel (the screen's spare byte is not an alpha).
std::vector<BYTE> ToBgr(const ScreenPixels& pixels, UINT* stride)
{
    *stride = static_cast<UINT>((pixels.Width * 3 + 3) & ~3);
    std::vector<BYTE> rows(static_cast<size_t>(*stride) * pixels.Height);
    for (int y = 0; y < pixels.Height; ++y) {
        BYTE* row = rows.data() + static_cast<size_t>(y) * *stride;
        for (int x = 0; x < pixels.Width; ++x) {
            uint32_t p = pixels.Bgrx[static_cast<size_t>(y) * pixels.Width + x];
            row[x * 3 + 0] = static_cast<BYTE>(p & 0xFF);
            row[x * 3 + 1] = static_cast<BYTE>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<BYTE>((p >> 16) & 0xFF);
        }
    }
    return rows;
}

bool SavePng(const ScreenPixels& pixels, const char* path)
{
    wchar_t widePath[MAX_PATH] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH)) {
        return false;
    }
    ComApartment com;
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    ComRef<IPropertyBag2> options;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.outVoid())) ||
        FAILED(factory->CreateStream(stream.out())) || FAILED(stream->InitializeFromFilename(widePath, GENERIC_WRITE)) ||
        FAILED(CoCreateInstance(CLSID_WICPngEncoder, nullptr, CLSCTX_INPROC_SERVER, IID_IWICBitmapEncoder,
                                encoder.outVoid())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.out(), options.out())) || FAILED(frame->Initialize(options.get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(pixels.Width), static_cast<UINT>(pixels.Height)))) {
        return false;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR) {
        return false;
    }
    UINT stride = 0;
    std::vector<BYTE> rows = ToBgr(pixels, &stride);
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(pixels.Height), stride, static_cast<UINT>(rows.size()),
                                        rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: kovashot <out.png> [x y width height]\n");
        return 64;
    }
    RECT area = VirtualScreenRect();
    if (argc == 6) {
        long v[4];
        for (int i = 0; i < 4; ++i) {
            if (!ParseNumber(argv[2 + i], &v[i])) {
                std::fprintf(stderr, "kovashot: %s is not a number\n", argv[2 + i]);
                return 64;
            }
        }
        if (v[2] <= 0 || v[3] <= 0) {
            std::fprintf(stderr, "kovashot: the rectangle is empty\n");
            return 64;
        }
        area = RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
    }
    ScreenPixels pixels;
    if (!GrabScreen(area, pixels)) {
        std::fprintf(stderr, "kovashot: could not read the screen\n");
        return 1;
    }
    if (!SavePng(pixels, argv[1])) {
        std::fprintf(stderr, "kovashot: could not write %s\n", argv[1]);
        return 2;
    }
    std::printf("saved %dx%d at (%d,%d) to %s\n", pixels.Width, pixels.Height, pixels.Left, pixels.Top, argv[1]);
    return 0;
}
