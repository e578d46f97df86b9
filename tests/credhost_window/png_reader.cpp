#include "png_reader.h"

#include "base/com_ptr.h"
#include "com_apartment.h"

#include <wincodec.h>

#include <set>
#include <vector>

PngSummary ReadPngSummary(const std::wstring& path) {
    const ComApartment com;
    PngSummary summary;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    summary.result =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.Receive()));
    if (SUCCEEDED(summary.result)) {
        summary.result = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                            WICDecodeMetadataCacheOnDemand, decoder.Receive());
    }
    if (SUCCEEDED(summary.result)) {
        summary.result = decoder->GetFrame(0, frame.Receive());
    }
    if (SUCCEEDED(summary.result)) {
        summary.result = frame->GetSize(&summary.width, &summary.height);
    }
    if (SUCCEEDED(summary.result)) {
        summary.result = factory->CreateFormatConverter(converter.Receive());
    }
    if (SUCCEEDED(summary.result)) {
        summary.result = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    if (FAILED(summary.result)) {
        return summary;
    }
    std::vector<UINT> pixels(static_cast<size_t>(summary.width) * summary.height);
    summary.result = converter->CopyPixels(nullptr, summary.width * 4, static_cast<UINT>(pixels.size() * 4),
                                           reinterpret_cast<BYTE*>(pixels.data()));
    std::set<UINT> colors;
    for (size_t index = 0; index < pixels.size() && colors.size() < 1000; index += 7) {
        colors.insert(pixels[index]);
    }
    summary.distinctColors = colors.size();
    return summary;
}
