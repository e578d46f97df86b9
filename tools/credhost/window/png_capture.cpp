#include "png_capture.h"

#include <wincodec.h>

#include "base/com_ptr.h"
#include "gdi_object.h"

#include <vector>

namespace {

class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : m_window(window), m_dc(GetWindowDC(window)) {}
    ~WindowDc() {
        if (m_dc != nullptr) {
            ReleaseDC(m_window, m_dc);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const noexcept { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

class DibSection {
public:
    DibSection(HDC dc, int width, int height) noexcept {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down rows, as WIC takes them
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        m_bitmap = OwnedBitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0));
    }
    HBITMAP Get() const noexcept { return m_bitmap.Get(); }
    BYTE* Bits() const noexcept { return static_cast<BYTE*>(m_bits); }

private:
    OwnedBitmap m_bitmap;
    void* m_bits = nullptr;
};

HRESULT EncodePng(const std::wstring& path, UINT width, UINT height, UINT stride, BYTE* pixels) {
    ComPtr<IWICImagingFactory> factory;
    HRESULT hr =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.Receive()));
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IWICStream> stream;
    hr = factory->CreateStream(stream.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IWICBitmapEncoder> encoder;
    hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IWICBitmapFrameEncode> frame;
    hr = encoder->CreateNewFrame(frame.Receive(), nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    hr = frame->Initialize(nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    hr = frame->SetSize(width, height);
    if (FAILED(hr)) {
        return hr;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    hr = frame->SetPixelFormat(&format);
    if (FAILED(hr)) {
        return hr;
    }
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    hr = frame->WritePixels(height, stride, stride * height, pixels);
    if (FAILED(hr)) {
        return hr;
    }
    hr = frame->Commit();
    if (FAILED(hr)) {
        return hr;
    }
    return encoder->Commit();
}

}  // namespace

HRESULT SaveWindowAsPng(HWND window, const std::wstring& path) noexcept {
    RECT bounds{};
    if (!GetWindowRect(window, &bounds)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    // Everything painted now, children included, before the pixels are copied.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WindowDc source(window);
    const MemoryDc memory(CreateCompatibleDC(source.Get()));
    const DibSection dib(source.Get(), width, height);
    if (source.Get() == nullptr || memory.Get() == nullptr || dib.Get() == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HGDIOBJ old = SelectObject(memory.Get(), dib.Get());
    const BOOL copied = BitBlt(memory.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(memory.Get(), old);
    if (!copied) {
        return E_FAIL;
    }
    const UINT stride = (static_cast<UINT>(width) * 3 + 3) & ~3u;
    return EncodePng(path, static_cast<UINT>(width), static_cast<UINT>(height), stride, dib.Bits());
}
