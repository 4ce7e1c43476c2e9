#pragma once
// Test seams of the utility library (namespace platform_testing).
namespace platform_testing {

// From now on the vertex and index buffer locks of every mesh fail (false:
// they work again), for callers that must survive a failed lock.
void FailD3DXMeshLocks(bool fail);

}  // namespace platform_testing
