#include "backend.h"

namespace d3d9 {

// Until the OpenGL back end lands, devices draw nothing.
std::unique_ptr<Backend> CreateGlBackend(const GlBackendConfig&, std::string*) { return CreateNullBackend(); }

}  // namespace d3d9
