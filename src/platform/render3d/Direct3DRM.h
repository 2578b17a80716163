#pragma once
// The renderer's front door: makes the retained-mode objects the way the platform's
// IDirect3DRM did, each call returning a result code (0 = OK) and the object through
// an out parameter. Including this header brings in the whole renderer.
//
// A typical set-up for the 3D effects:
//   rm.CreateFrame(nullptr, &scene); rm.CreateFrame(scene.get(), &camera);
//   camera->SetPosition(scene.get(), 0, 0, -2);
//   rm.CreateDeviceFromSurface(renderSurface, &device);
//   rm.CreateViewport(device, camera, 0, 0, w, h, &viewport);
//   rm.CreateFrame(scene.get(), &meshFrame); rm.CreateMesh(&front);
//   front->AddGroup(...); front->SetVertices(...); front->SetGroupTexture(...);
//   meshFrame->AddVisual(front); scene->SetSceneBackgroundImage(backTexture);
//   every frame: SetVertices, viewport->ForceUpdate, Clear, Render(scene), device->Update.
#include <memory>
#include <string>

#include "platform/render3d/RmDevice.h"
#include "platform/render3d/RmResult.h"
#include "platform/render3d/RmScene.h"
#include "platform/render3d/RmSurface.h"
#include "platform/render3d/RmVertex.h"

namespace movara {

class TDirect3DRM {
 public:
  // A frame under parent, or a new scene (a root) when parent is nullptr.
  TRmResult CreateFrame(TRmFrame* parent, std::shared_ptr<TRmFrame>* frame);
  TRmResult CreateMesh(std::shared_ptr<TRmMesh>* mesh);
  // D3DRMERR_BADOBJECT for a missing or empty surface.
  TRmResult CreateTextureFromSurface(std::shared_ptr<TRmSurface> surface,
                                     std::shared_ptr<TRmTexture>* texture);
  // A texture from a BMP file, in a surface of the picture's size with its rows as they
  // are stored top-down. D3DRMERR_FILENOTFOUND when the file does not exist,
  // D3DRMERR_BADFILE when it is not a picture the program reads.
  TRmResult LoadTexture(const std::string& fileName, std::shared_ptr<TRmTexture>* texture);
  TRmResult CreateDeviceFromSurface(std::shared_ptr<TRmSurface> target,
                                    std::shared_ptr<TRmDevice>* device);
  TRmResult CreateViewport(std::shared_ptr<TRmDevice> device, std::shared_ptr<TRmFrame> camera,
                           int x, int y, int width, int height,
                           std::shared_ptr<TRmViewport>* viewport);
};

}  // namespace movara
