#include "png_windows.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <new>

namespace qrtool {
namespace {

// Holds one reference to a COM object and releases it on the way out.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (object_ != nullptr) {
      object_->Release();
    }
  }
  T* operator->() const { return object_; }
  T* get() const { return object_; }
  T** put() { return &object_; }

 private:
  T* object_ = nullptr;
};

// COM on this thread for as long as the picture takes. A thread that has
// it already, in either model, keeps it as it is.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }
  HRESULT status() const { return result_ == RPC_E_CHANGED_MODE ? S_OK : result_; }

 private:
  HRESULT result_;
};

WICColor Argb(Colour colour, bool opaque) {
  return (opaque ? 0xFF000000u : 0u) | (colour & 0xFFFFFFu);
}

// Greyscale 1 bit for black on white, else two palette entries: index 0
// dark, 1 light, as the grey levels.
HRESULT SetPixelFormat(IWICImagingFactory* factory, IWICBitmapFrameEncode* frame, Colour foreground,
                       Colour background) {
  const bool grey = foreground == kBlack && background == kWhite;
  const WICPixelFormatGUID asked =
      grey ? GUID_WICPixelFormatBlackWhite : GUID_WICPixelFormat1bppIndexed;
  WICPixelFormatGUID format = asked;
  HRESULT result = frame->SetPixelFormat(&format);
  // An encoder may offer another format instead; the rows are 1 bit.
  if (SUCCEEDED(result) && !IsEqualGUID(format, asked)) {
    result = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  }
  if (FAILED(result) || grey) {
    return result;
  }
  ComRef<IWICPalette> palette;
  const bool transparent = background == kTransparent;
  WICColor colours[2] = {Argb(foreground, true),
                         Argb(transparent ? kWhite : background, !transparent)};
  result = factory->CreatePalette(palette.put());
  if (SUCCEEDED(result)) {
    result = palette->InitializeCustom(colours, 2);
  }
  return SUCCEEDED(result) ? frame->SetPalette(palette.get()) : result;
}

// The whole of the stream into *out.
HRESULT ReadAll(IStream* stream, std::string* out) {
  STATSTG stat{};
  HRESULT result = stream->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(result)) {
    result = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  }
  if (FAILED(result)) {
    return result;
  }
  out->resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
  ULONG read = 0;
  result = stream->Read(out->data(), static_cast<ULONG>(out->size()), &read);
  return SUCCEEDED(result) && read != out->size() ? E_FAIL : result;
}

}  // namespace

bool EncodePngWithWic(int side, Colour foreground, Colour background, std::uint32_t pixelsPerMetre,
                      const PngRowSource& rows, std::string* out, std::string* error) {
  const ComScope com;
  HRESULT result = com.status();
  ComRef<IWICImagingFactory> factory;
  ComRef<IStream> stream;
  ComRef<IWICBitmapEncoder> encoder;
  ComRef<IWICBitmapFrameEncode> frame;
  ComRef<IPropertyBag2> frameOptions;
  const auto step = [&](auto call) {
    if (SUCCEEDED(result)) {
      result = call();
    }
  };
  step([&] {
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(factory.put()));
  });
  // The encoder writes into memory; the tool's own writers put the bytes
  // into the file.
  step([&] { return CreateStreamOnHGlobal(nullptr, TRUE, stream.put()); });
  step([&] { return factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()); });
  step([&] { return encoder->Initialize(stream.get(), WICBitmapEncoderNoCache); });
  step([&] { return encoder->CreateNewFrame(frame.put(), frameOptions.put()); });
  step([&] { return frame->Initialize(frameOptions.get()); });
  step([&] { return frame->SetSize(side, side); });
  // The encoder takes dots per inch and stores whole pixels per metre; a
  // quarter pixel per metre over the one asked for gives that one whether
  // the encoder rounds or truncates.
  const double dpi = (pixelsPerMetre + 0.25) * 0.0254;
  step([&] { return frame->SetResolution(dpi, dpi); });
  step([&] { return SetPixelFormat(factory.get(), frame.get(), foreground, background); });
  const UINT rowBytes = (static_cast<UINT>(side) + 7) / 8;
  rows([&](const std::uint8_t* row) {
    step([&] { return frame->WritePixels(1, rowBytes, rowBytes, const_cast<BYTE*>(row)); });
    return SUCCEEDED(result);
  });
  step([&] { return frame->Commit(); });
  step([&] { return encoder->Commit(); });

  step([&] { return ReadAll(stream.get(), out); });
  if (result == E_OUTOFMEMORY) {
    throw std::bad_alloc();
  }
  if (FAILED(result)) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "the Windows Imaging Component could not write the PNG (error 0x%08lX)",
                  static_cast<unsigned long>(result));
    *error = text;
    return false;
  }
  return true;
}

}  // namespace qrtool
