#include "platform/render3d/Direct3DRM.h"

#include <filesystem>
#include <new>
#include <system_error>

namespace movara {

TRmResult TDirect3DRM::CreateFrame(TRmFrame* parent, std::shared_ptr<TRmFrame>* frame) {
  if (!frame) return D3DRMERR_BADVALUE;
  try {
    auto f = std::make_shared<TRmFrame>();
    if (parent) {
      TRmResult res = parent->AddChild(f);
      if (res != D3DRM_OK) return res;
    }
    *frame = std::move(f);
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  return D3DRM_OK;
}

TRmResult TDirect3DRM::CreateMesh(std::shared_ptr<TRmMesh>* mesh) {
  if (!mesh) return D3DRMERR_BADVALUE;
  try {
    *mesh = std::make_shared<TRmMesh>();
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  return D3DRM_OK;
}

TRmResult TDirect3DRM::CreateTextureFromSurface(std::shared_ptr<TRmSurface> surface,
                                                std::shared_ptr<TRmTexture>* texture) {
  if (!texture) return D3DRMERR_BADVALUE;
  if (!surface || !surface->Valid()) return D3DRMERR_BADOBJECT;
  try {
    *texture = std::make_shared<TRmTexture>(std::move(surface));
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  return D3DRM_OK;
}

TRmResult TDirect3DRM::LoadTexture(const std::string& fileName,
                                   std::shared_ptr<TRmTexture>* texture) {
  if (!texture) return D3DRMERR_BADVALUE;
  std::error_code ec;
  if (fileName.empty() || !std::filesystem::is_regular_file(fileName, ec))
    return D3DRMERR_FILENOTFOUND;
  try {
    TDIB picture;
    if (!picture.LoadFromFile(fileName) || picture.Empty()) return D3DRMERR_BADFILE;
    auto surface = std::make_shared<TRmSurface>();
    TRmResult res = surface->Create(picture.Width(), picture.Height());
    if (res != DD_OK) return res;
    res = surface->LoadFromDIB(picture, Rect(0, 0, picture.Width(), picture.Height()));
    if (res != DD_OK) return res;
    return CreateTextureFromSurface(std::move(surface), texture);
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
}

TRmResult TDirect3DRM::CreateDeviceFromSurface(std::shared_ptr<TRmSurface> target,
                                               std::shared_ptr<TRmDevice>* device) {
  if (!device) return D3DRMERR_BADVALUE;
  try {
    auto d = std::make_shared<TRmDevice>();
    TRmResult res = d->Create(std::move(target));
    if (res != D3DRM_OK) return res;
    *device = std::move(d);
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  return D3DRM_OK;
}

TRmResult TDirect3DRM::CreateViewport(std::shared_ptr<TRmDevice> device,
                                      std::shared_ptr<TRmFrame> camera, int x, int y, int width,
                                      int height, std::shared_ptr<TRmViewport>* viewport) {
  if (!viewport) return D3DRMERR_BADVALUE;
  try {
    auto v = std::make_shared<TRmViewport>();
    TRmResult res = v->Create(std::move(device), std::move(camera), x, y, width, height);
    if (res != D3DRM_OK) return res;
    *viewport = std::move(v);
  } catch (const std::bad_alloc&) {
    return D3DRMERR_BADALLOC;
  }
  return D3DRM_OK;
}

}  // namespace movara
