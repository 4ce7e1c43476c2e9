#pragma once
// Test seams of this interface (namespace platform_testing).
namespace platform_testing {}
