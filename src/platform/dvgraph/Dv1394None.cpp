// A build without the IEEE 1394 libraries knows no FireWire cameras.
#include "platform/dvgraph/DvGraphImpl.h"

#ifndef MOVARA_HAVE_IEC61883
namespace movara::dv1394 {

void ListDevices(std::vector<std::string>&) {}
std::unique_ptr<IDvCamera> Open(const std::string&) { return nullptr; }

}  // namespace movara::dv1394
#endif
