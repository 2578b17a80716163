#include "platform/dvgraph/DvGraph.h"

#include "platform/dvgraph/DvGraphImpl.h"

namespace movara {

HRESULT DvEnumerateDevices(std::vector<std::string>& names) {
  names.clear();
  if (HRESULT r = dvsim::EnumerateFault(); FAILED(r)) return r;
  dv1394::ListDevices(names);
  dvsim::ListDevices(names);
  return S_OK;
}

HRESULT DvOpenDevice(const std::string& name, std::unique_ptr<IDvCamera>& camera) {
  camera = dv1394::Open(name);
  if (!camera) camera = dvsim::Open(name);
  return camera ? S_OK : VFW_E_NOT_FOUND;
}

}  // namespace movara
