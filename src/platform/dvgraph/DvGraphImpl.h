#pragma once
// The back ends behind DvEnumerateDevices and DvOpenDevice.
#include <memory>
#include <string>
#include <vector>

#include "platform/dvgraph/DvGraph.h"

namespace movara {

namespace dvsim {
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
