// Test seam of the collision library.
#pragma once

class CCollisionObject;

namespace platform_testing {

// newCollisionObject answers what `factory` makes (null: the library's own
// models again, the default). A factory must not return null.
void SetCollisionObjectFactory(CCollisionObject* (*factory)());

}  // namespace platform_testing
