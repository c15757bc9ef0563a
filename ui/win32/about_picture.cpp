#include "about_picture.h"

#include <ocidl.h>
#include <olectl.h>
#include <shlwapi.h>

#include "resource_ids.h"

namespace pellorin::win32ui {
namespace {

struct ResourceBytes {
  const void* data = nullptr;
  DWORD size = 0;
};

ResourceBytes FindPicture() {
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(PELLORIN_ABOUT_PICTURE),
                                      MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (found == nullptr) return {};
  const HGLOBAL loaded = ::LoadResource(module, found);
  if (loaded == nullptr) return {};
  return {::LockResource(loaded), ::SizeofResource(module, found)};
}

}  // namespace

HBITMAP LoadAboutPicture() {
  const ResourceBytes jpeg = FindPicture();
  if (jpeg.data == nullptr) return nullptr;
  const HRESULT initialised = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HBITMAP bitmap = nullptr;
  if (IStream* stream =
          ::SHCreateMemStream(static_cast<const BYTE*>(jpeg.data), static_cast<UINT>(jpeg.size))) {
    IPicture* picture = nullptr;
    if (SUCCEEDED(::OleLoadPicture(stream, static_cast<LONG>(jpeg.size), FALSE, IID_IPicture,
                                   reinterpret_cast<void**>(&picture)))) {
      OLE_HANDLE handle = 0;
      // The picture owns its bitmap; the dialog keeps a copy of its own.
      if (SUCCEEDED(picture->get_Handle(&handle))) {
        bitmap = static_cast<HBITMAP>(::CopyImage(reinterpret_cast<HBITMAP>(UINT_PTR{handle}),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      }
      picture->Release();
    }
    stream->Release();
  }
  if (SUCCEEDED(initialised)) ::CoUninitialize();
  return bitmap;
}

}  // namespace pellorin::win32ui
