#include "platform/png_file.h"

#include <wincodec.h>
#include <windows.h>

#include <memory>
#include <vector>

namespace corvane::platform {

namespace {

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease>;

// COM for this thread while a file is written or read. A thread that already
// has it keeps its own model.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

ComPtr<IWICImagingFactory> imagingFactory() {
  IWICImagingFactory* factory = nullptr;
  if (FAILED(
          CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
    return nullptr;
  return ComPtr<IWICImagingFactory>(factory);
}

// Paths are the process's code page, as every other file name of ours.
std::wstring widePath(const std::string& path) {
  const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return wide;
}

ComPtr<IWICStream> fileStream(IWICImagingFactory& factory, const std::string& path, DWORD access) {
  const std::wstring wide = widePath(path);
  IWICStream* stream = nullptr;
  if (wide.empty() || FAILED(factory.CreateStream(&stream))) return nullptr;
  ComPtr<IWICStream> owned(stream);
  if (FAILED(owned->InitializeFromFilename(wide.c_str(), access))) return nullptr;
  return owned;
}

// The picture's rows as B, G, R: the alpha bytes dropped.
std::vector<BYTE> bgrRows(const PictureView& picture) {
  const std::size_t pixels = std::size_t{picture.width} * picture.height;
  std::vector<BYTE> rows(pixels * 3);
  for (std::size_t i = 0; i < pixels; ++i)
    for (std::size_t c = 0; c < 3; ++c) rows[i * 3 + c] = picture.bgra[i * 4 + c];
  return rows;
}

bool encode(IWICImagingFactory& factory, IWICStream& stream, const PictureView& picture) {
  IWICBitmapEncoder* rawEncoder = nullptr;
  if (FAILED(factory.CreateEncoder(GUID_ContainerFormatPng, nullptr, &rawEncoder))) return false;
  ComPtr<IWICBitmapEncoder> encoder(rawEncoder);
  if (FAILED(encoder->Initialize(&stream, WICBitmapEncoderNoCache))) return false;
  IWICBitmapFrameEncode* rawFrame = nullptr;
  IPropertyBag2* rawOptions = nullptr;
  if (FAILED(encoder->CreateNewFrame(&rawFrame, &rawOptions))) return false;
  ComPtr<IWICBitmapFrameEncode> frame(rawFrame);
  ComPtr<IPropertyBag2> options(rawOptions);
  if (FAILED(frame->Initialize(options.get())) || FAILED(frame->SetSize(picture.width, picture.height)))
    return false;
  // The encoder names the format it will take; anything but 8-bit B, G, R
  // would need a conversion of ours and is refused.
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
    return false;
  std::vector<BYTE> rows = bgrRows(picture);
  const UINT stride = picture.width * 3;
  if (FAILED(frame->WritePixels(picture.height, stride, static_cast<UINT>(rows.size()), rows.data())))
    return false;
  return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

}  // namespace

bool writePngFile(const std::string& path, const PictureView& picture) {
  if (picture.width == 0 || picture.height == 0 ||
      picture.bgra.size() < std::size_t{picture.width} * picture.height * 4)
    return false;
  ComScope com;
  if (!com.usable()) return false;
  const ComPtr<IWICImagingFactory> factory = imagingFactory();
  if (!factory) return false;
  // The file is closed when the stream goes, before the caller renames it.
  const ComPtr<IWICStream> stream = fileStream(*factory, path, GENERIC_WRITE);
  return stream && encode(*factory, *stream, picture);
}

bool readPngFile(const std::string& path, RgbImage& image) {
  ComScope com;
  if (!com.usable()) return false;
  const ComPtr<IWICImagingFactory> factory = imagingFactory();
  if (!factory) return false;
  const ComPtr<IWICStream> stream = fileStream(*factory, path, GENERIC_READ);
  if (!stream) return false;
  IWICBitmapDecoder* rawDecoder = nullptr;
  if (FAILED(factory->CreateDecoderFromStream(stream.get(), &GUID_ContainerFormatPng,
                                              WICDecodeMetadataCacheOnDemand, &rawDecoder)))
    return false;
  ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
  IWICBitmapFrameDecode* rawFrame = nullptr;
  if (FAILED(decoder->GetFrame(0, &rawFrame))) return false;
  ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
  IWICFormatConverter* rawConverter = nullptr;
  if (FAILED(factory->CreateFormatConverter(&rawConverter))) return false;
  ComPtr<IWICFormatConverter> converter(rawConverter);
  UINT width = 0, height = 0;
  if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat24bppRGB, WICBitmapDitherTypeNone, nullptr,
                                   0.0, WICBitmapPaletteTypeCustom)) ||
      FAILED(converter->GetSize(&width, &height)))
    return false;
  std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
  if (FAILED(converter->CopyPixels(nullptr, width * 3, static_cast<UINT>(rgb.size()), rgb.data())))
    return false;
  image.width = width;
  image.height = height;
  image.rgb = std::move(rgb);
  return true;
}

}  // namespace corvane::platform
