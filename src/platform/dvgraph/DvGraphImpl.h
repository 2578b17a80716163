#pragma once
// The back ends behind DvEnumerateDevices and DvOpenDevice.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dvgraph/DvGraph.h"

namespace movara {

namespace dvsim {
// What a graph of another camera tells that camera: when its chain from the camera
// (capture, preview) or into it (recording) runs, and each frame for its input.
struct TGraphHooks {
  std::function<HRESULT(bool receive, bool transmit)> OnState;
  std::function<void(const std::vector<uint8_t>& dif)> CameraInput;  // with the graph busy
};
// The graph of the simulator, for another camera.
std::unique_ptr<IDvGraph> CreateGraph(bool hasCameraInput, TGraphHooks hooks);
// A frame from that camera (any thread).
void DeliverCameraFrame(IDvGraph* graph, const std::vector<uint8_t>& dif);

void ListDevices(std::vector<std::string>& names);
HRESULT EnumerateFault();
std::unique_ptr<IDvCamera> Open(const std::string& name);
}  // namespace dvsim

namespace dv1394 {
// Cameras on the IEEE 1394 buses; none when the build has no FireWire libraries or the
// device nodes cannot be opened.
void ListDevices(std::vector<std::string>& names);
std::unique_ptr<IDvCamera> Open(const std::string& name);
}  // namespace dv1394

}  // namespace movara
